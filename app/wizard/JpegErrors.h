// libjpeg's fatal errors, turned into a jump back to our own code.
//
// libjpeg reports a fatal error by calling error_exit, which must not return.
// OnJpegFatalError keeps libjpeg's message and jumps to the setjmp in Jump;
// the function that called setjmp then raises an exception, outside
// libjpeg's C frames. Only trivially destructible objects may live in that
// function's frame (and in any frame between it and libjpeg): the jump runs
// no destructor.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct TJpegErrorManager {
    jpeg_error_mgr Base;  // first, so libjpeg's err pointer is ours as well
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] inline void OnJpegFatalError(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->Message);
    std::longjmp(manager->Jump, 1);
}
