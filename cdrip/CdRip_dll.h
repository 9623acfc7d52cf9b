/* Import header of the CD extraction library (CDRip), for TCDRIP.  The
 * library owns its interface: the calls, records and their contracts are in
 * <ripper/CDRip.h>. */
#ifndef CDRIP_DLL_H
#define CDRIP_DLL_H

#include <ripper/CDRip.h>

#endif /* CDRIP_DLL_H */
