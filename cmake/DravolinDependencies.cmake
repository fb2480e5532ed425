# Libraries of the stack, all from Debian packages installed by scripts/setup.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
# LinguistTools: lupdate and lrelease for the windows' translations (qt6-l10n-tools, the CMake
# functions from qt6-tools-dev).
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets SerialPort Test LinguistTools)
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
find_package(JPEG REQUIRED)
# USB controllers, gamepads and joysticks.
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
# The line maker: geodesic distances (GeographicLib, found by the module Debian ships with it) and
# the GPX reader's XML parser (expat).
list(APPEND CMAKE_MODULE_PATH /usr/share/cmake/geographiclib)
find_package(GeographicLib REQUIRED)
add_library(dravolin_geographiclib INTERFACE)
target_include_directories(dravolin_geographiclib SYSTEM INTERFACE ${GeographicLib_INCLUDE_DIRS})
target_link_libraries(dravolin_geographiclib INTERFACE ${GeographicLib_LIBRARIES})
find_package(EXPAT REQUIRED)
# The line maker's time zones: Howard Hinnant's date/tz over the system's zone database
# (/usr/share/zoneinfo, read offline; Debian builds it so).
find_package(date REQUIRED)
# Line packages: ZIP archives (libzip), their files' SHA-256 (OpenSSL's libcrypto) and the
# manifest (nlohmann-json).
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(nlohmann_json 3 REQUIRED)
if(DRAVOLIN_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(DRAVOLIN_BENCH)
  find_package(benchmark REQUIRED)
endif()
