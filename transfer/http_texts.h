/* The HTTP dialog's texts of a failed request, "%1" the code they name: the string
   table (res/nimbrel.rc) holds them, and the makers' tool quotes them. Plain string
   macros, so that the resource compiler reads them. */
#pragma once

#define NIMBREL_TEXT_HTTP_ERROR_CONNECT "An error occurred connecting to the server, Error:%1"
#define NIMBREL_TEXT_HTTP_ERROR_STATUS "Failed to receive a valid HTTP response from the server, Response Code:%1"
