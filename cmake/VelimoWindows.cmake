# The Windows build: cross-built with MinGW-w64 (cmake/mingw-w64.cmake),
# its tests run under wine by scripts/build-windows.
#
# The layers come over one at a time. A source file listed here still
# calls POSIX directly and stays out of the Windows libraries until its
# Windows half exists; the list only shrinks.
set(VELIMO_WINDOWS_PENDING
  tests/support/fake_system.cpp
  tests/support/form_fixture.cpp
  tests/support/fresh_process.cpp
  tests/support/watchdog.cpp
  tests/unit/serial/com_port_settings_test.cpp
  tests/unit/serial/linux_tty_test.cpp
  tests/unit/serial/port_identity_test.cpp
  tests/unit/serial/port_list_test.cpp
  tests/unit/settings/ini_file_test.cpp
  tests/unit/settings/settings_test.cpp
  tests/unit/trace/trace_log_test.cpp
  tests/unit/util/data_folder_test.cpp
  tests/unit/util/file_append_test.cpp
  tests/unit/util/precise_pause_test.cpp)

# The library folders that build for Windows, lowest first, and the unit
# test folders that run under wine.
set(VELIMO_WINDOWS_LAYERS src/util src/settings src/trace src/serial src/protocol src/scan
                          src/forms src/profile)
set(VELIMO_WINDOWS_UNIT_TESTS util settings trace serial protocol)

# Windows 10 and later: the high-resolution waitable timer and the wide
# file calls that the ports use.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE
                        WIN32_LEAN_AND_MEAN NOMINMAX
                        # localtime_r and the other _r calls (MinGW's time.h)
                        _POSIX_THREAD_SAFE_FUNCTIONS=200112L)
