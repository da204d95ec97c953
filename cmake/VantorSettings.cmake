# Build-time settings: the bundle facts of the helper and the hosts it talks to.
# Hosts can be overridden at run time by environment variables (see README).
set(VANTOR_BUNDLE_NAME "VantorInstallHelper" CACHE STRING "CFBundleName of the helper")
set(VANTOR_BUNDLE_IDENTIFIER "com.vantor.VantorInstallHelper" CACHE STRING "CFBundleIdentifier of the helper")
set(VANTOR_BUNDLE_SHORT_VERSION "${PROJECT_VERSION}" CACHE STRING "CFBundleShortVersionString")
set(VANTOR_BUNDLE_VERSION "1" CACHE STRING "CFBundleVersion")
set(VANTOR_SUPPORT_MAIL "support@vantor.app" CACHE STRING "Address of problem reports")


# Hosts (host[:port]); VANTOR_PRODUCT_SERVER, VANTOR_CASK_HOST and VANTOR_MAKER_HOST in the
# environment override them at run time.
set(VANTOR_PRODUCT_SERVER_HOST "api.vantor.app" CACHE STRING "Product server: CGI programs and icons")
set(VANTOR_CASK_HOST "raw.githubusercontent.com" CACHE STRING "Public raw-file host of the cask repositories")
set(VANTOR_MAKER_HOST "www.vantor.app" CACHE STRING "The maker's web host (cask mirror)")
# The checksum of the release-date query (key s): the SHA-1 of this template filled, in
# order, with the cleaned bundle identifier, its last dot component, its number of dots
# times the dot factor, its number of the four letters, and that number OR the mask. The
# product server must hold the same four values.
set(VANTOR_DATE_CHECKSUM_TEMPLATE "vantor-date:%@:%@:%li:%li:%li" CACHE STRING "Release-date checksum template")
set(VANTOR_DATE_CHECKSUM_DOT_FACTOR "37" CACHE STRING "Release-date checksum: factor of the dot count")
set(VANTOR_DATE_CHECKSUM_LETTERS "aeor" CACHE STRING "Release-date checksum: the four counted letters")
set(VANTOR_DATE_CHECKSUM_MASK "1024" CACHE STRING "Release-date checksum: mask ORed into the letter count")
# The word that the issuer of the product server's certificate must carry (lower-case letters).
# The program keeps only its ROT13 form (kServerIssuerWord), never the word itself.
set(VANTOR_SERVER_ISSUER_WORD "vantor" CACHE STRING "Expected issuer word of the product server certificate")
if(NOT VANTOR_SERVER_ISSUER_WORD MATCHES "^[a-z]+$")
  message(FATAL_ERROR "VANTOR_SERVER_ISSUER_WORD must be lower-case letters a-z only, got '${VANTOR_SERVER_ISSUER_WORD}'")
endif()
set(_plain "abcdefghijklmnopqrstuvwxyz")
set(_rotated "nopqrstuvwxyzabcdefghijklm")
set(VANTOR_SERVER_ISSUER_WORD_ROT13 "")
string(LENGTH "${VANTOR_SERVER_ISSUER_WORD}" _length)
math(EXPR _last "${_length} - 1")
foreach(_i RANGE ${_last})
  string(SUBSTRING "${VANTOR_SERVER_ISSUER_WORD}" ${_i} 1 _letter)
  string(FIND "${_plain}" "${_letter}" _position)
  string(SUBSTRING "${_rotated}" ${_position} 1 _letter)
  string(APPEND VANTOR_SERVER_ISSUER_WORD_ROT13 "${_letter}")
endforeach()

# What one extraction of a downloaded archive may write and how long it may take; past
# either limit the extracting tool is stopped and the extraction fails.
set(VANTOR_EXTRACTION_MAX_MB "32768" CACHE STRING "Bytes one extraction may write, in MiB")
set(VANTOR_EXTRACTION_MAX_ENTRIES "2000000" CACHE STRING "Files and folders one extraction may write")
set(VANTOR_EXTRACTION_MAX_SECONDS "3600" CACHE STRING "Seconds one extraction may take")
# The catalog verification key: a 4096-bit RSA public key file (PEM or DER). The default
# is the demo key of the repository, which must not ship: anyone holds its private half.
set(VANTOR_CATALOG_PUBLIC_KEY "${PROJECT_SOURCE_DIR}/resources/demo-keys/catalog-demo-public.pem"
    CACHE FILEPATH "Public key that catalog files must be signed for (PEM or DER)")
# The private key that vantor-sign-catalog uses when given none.
set(VANTOR_CATALOG_SIGNING_KEY "${PROJECT_SOURCE_DIR}/resources/demo-keys/catalog-demo-private.pem"
    CACHE FILEPATH "Default private key of vantor-sign-catalog (PEM)")
include(${CMAKE_CURRENT_LIST_DIR}/CatalogKey.cmake)
vantor_catalog_key_hex("${VANTOR_CATALOG_PUBLIC_KEY}" VANTOR_CATALOG_KEY_HEX)

# Keep this last: every setting above goes into the generated header.
configure_file(${PROJECT_SOURCE_DIR}/cmake/BuildSettings.h.in
               ${PROJECT_BINARY_DIR}/generated/vantor/BuildSettings.h @ONLY)
