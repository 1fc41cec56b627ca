# kbmaint, the command-line front end: app/kbmaint_*.cpp form the library
# kbmaintcli, which links the core only (no Qt Gui or Widgets); main() is in
# app/kbmaint_main.cpp. CLI11 (Debian libcli11-dev) is header-only.
find_package(CLI11 CONFIG REQUIRED)

file(GLOB KBMAINT_SOURCES CONFIGURE_DEPENDS ${MAINT_ROOT}/app/kbmaint_*.cpp ${MAINT_ROOT}/app/kbmaint_*.h)
list(FILTER KBMAINT_SOURCES EXCLUDE REGEX "_main\\.cpp$")
add_library(kbmaintcli STATIC ${KBMAINT_SOURCES})
target_link_libraries(kbmaintcli PUBLIC maintcore CLI11::CLI11)
target_compile_options(kbmaintcli PRIVATE -Wall -Wextra)

if(MAINT_BUILD_APPS)
  add_executable(kbmaint ${MAINT_ROOT}/app/kbmaint_main.cpp)
  target_link_libraries(kbmaint PRIVATE kbmaintcli)
  target_compile_options(kbmaint PRIVATE -Wall -Wextra)
endif()
