# Build-time settings: the bundle facts of the helper and the hosts it talks to.
# Hosts can be overridden at run time by environment variables (see README).
set(VANTOR_BUNDLE_NAME "VantorInstallHelper" CACHE STRING "CFBundleName of the helper")
set(VANTOR_BUNDLE_IDENTIFIER "com.vantor.VantorInstallHelper" CACHE STRING "CFBundleIdentifier of the helper")
set(VANTOR_BUNDLE_SHORT_VERSION "${PROJECT_VERSION}" CACHE STRING "CFBundleShortVersionString")
set(VANTOR_BUNDLE_VERSION "1" CACHE STRING "CFBundleVersion")
set(VANTOR_SUPPORT_MAIL "support@vantor.app" CACHE STRING "Address of problem reports")

configure_file(${PROJECT_SOURCE_DIR}/cmake/BuildSettings.h.in
               ${PROJECT_BINARY_DIR}/generated/vantor/BuildSettings.h @ONLY)
