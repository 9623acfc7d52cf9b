/* Import header of the MP3 encoder library (LAME_ENC), for TLameCoder.  The
 * library owns its interface: the calls, records and their contracts are in
 * <ripper/LameEnc.h>. */
#ifndef LAME_DLL_H
#define LAME_DLL_H

#include <ripper/LameEnc.h>

#endif /* LAME_DLL_H */
