// Where libcdio's and paranoia's messages go (internal).
#ifndef CDRIP_CDIOLOG_H
#define CDRIP_CDIOLOG_H

namespace cdrip {

// Routes libcdio's log to our handler, which drops everything unless
// CDRIP_DEBUG=1 is set at the first call (then messages from the info level
// up go to stderr, prefixed "cdrip").  libcdio's own handler prints to
// stdout and calls exit() on errors, so this must run before any other
// libcdio call; it is idempotent and cheap after the first call.
void InstallLogHandler();

}  // namespace cdrip

#endif
