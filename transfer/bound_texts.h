/* The texts of a download beyond its bound, "%1" and "%2" the sizes they name: the
   string table (res/nimbrel.rc) holds them for both transfer dialogs, and the makers'
   tool quotes them. Plain string macros, so that the resource compiler reads them. */
#pragma once

#define NIMBREL_TEXT_BOUND_TOO_LARGE "The download was stopped: the file is larger than %1 bytes, the most accepted for it."
#define NIMBREL_TEXT_BOUND_ANNOUNCED_TOO_LARGE \
    "The file was not downloaded: the server gives its size as %2 bytes, more than the %1 bytes accepted for it."
#define NIMBREL_TEXT_BOUND_EXACT_TOO_LARGE \
    "The file was not downloaded: its size is given as %2 bytes, more than the %1 bytes accepted for it."
#define NIMBREL_TEXT_BOUND_ANNOUNCED_OTHER \
    "The file was not downloaded: the server gives its size as %2 bytes, not %1 bytes."
#define NIMBREL_TEXT_BOUND_LONGER \
    "The download was stopped: the server sent at least %2 bytes of a file that should be %1 bytes long."
#define NIMBREL_TEXT_BOUND_SHORTER "The download failed: the server sent %2 bytes of a file that should be %1 bytes long."
