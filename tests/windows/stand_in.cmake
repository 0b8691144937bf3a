# The sources of the helpers' common code and of the stand-in ZELK, shared by the build of the
# tests and by the build of the stand-in for the other bitness (other_bitness/).
set(ZELKUPD_WINDOWS_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZELKUPD_HELPER_COMMON_SOURCES
  ${ZELKUPD_WINDOWS_TESTS_DIR}/common/arguments.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/common/json_line.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/common/record_file.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/common/utf8.cpp)
set(ZELKUPD_STAND_IN_SOURCES
  ${ZELKUPD_WINDOWS_TESTS_DIR}/stand_in/app_window.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/stand_in/file_lock.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/stand_in/file_replace.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/stand_in/main.cpp
  ${ZELKUPD_WINDOWS_TESTS_DIR}/stand_in/options.cpp)
