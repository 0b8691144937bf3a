# The choices a build is made with, the site base URL and the release key, kept in one generated
# unit (src/update/build_config.cpp.in) so that a test build with other choices needs only that
# unit and a link.
include(${CMAKE_CURRENT_LIST_DIR}/release_key.cmake)

# Stops the configuration unless `url` is an absolute http:// or https:// URL ending in "/" that
# holds no blank, double quote, backslash or control character: the URL is pasted as it is into a
# C++ string literal, where any of those would end it, escape or break it.
function(zelkupd_check_site_url url)
  string(ASCII 1 first_control)
  string(ASCII 31 last_control)
  string(ASCII 127 delete)
  set(refused "\"\\\\ ${first_control}-${last_control}${delete}")
  if(NOT url MATCHES "^https?://[^/${refused}]+(/[^${refused}]*)?/$")
    message(FATAL_ERROR "ZELKUPD_SITE_URL must be an absolute http:// or https:// URL ending in /, "
                        "without blanks, double quotes, backslashes or control characters: "
                        "'${url}'")
  endif()
endfunction()

# Writes the unit `output` for the site `SITE_URL` and the release key in the PEM file
# `RELEASE_KEY` (none when empty: the build then never asks for a signature).
function(zelkupd_build_config_source output)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "SITE_URL;RELEASE_KEY" "")
  zelkupd_check_site_url("${ARG_SITE_URL}")
  set(ZELKUPD_CONFIG_SITE_URL "${ARG_SITE_URL}")
  if("${ARG_RELEASE_KEY}" STREQUAL "")
    set(ZELKUPD_CONFIG_KEY_BODY "  return nullptr;")
  else()
    zelkupd_read_release_key("${ARG_RELEASE_KEY}" point)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ARG_RELEASE_KEY}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${point}")
    set(ZELKUPD_CONFIG_KEY_BODY
        "  static constexpr TEcPublicKey kKey = {${bytes}};\n  return &kKey;")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/src/update/build_config.cpp.in ${output} @ONLY)
endfunction()
