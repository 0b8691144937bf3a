# Reads a release key: a PEM public key exactly as `openssl ec -pubout` writes it for an ECDSA
# P-256 key (SubjectPublicKeyInfo, id-ecPublicKey on prime256v1, uncompressed point) whose point
# lies on the curve. Anything else stops the configuration with a message that says what is
# expected: a point off the curve would build a program that refuses every signature. openssl,
# which loads only a point of the curve, checks that.
#
# As a script it checks one file and prints the point's X and Y in hex:
#   cmake -DKEY=release.pub.pem -DOPENSSL=/usr/bin/openssl -P cmake/release_key.cmake

set(ZELKUPD_BASE64_ALPHABET "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
# The key information up to the point's X and Y, in hex.
set(ZELKUPD_P256_KEY_HEAD "3059301306072a8648ce3d020106082a8648ce3d03010703420004")

function(zelkupd_release_key_error path reason)
  message(FATAL_ERROR
    "ZELKUPD_RELEASE_KEY: ${path} ${reason}. Expected an ECDSA P-256 public key in PEM form, as "
    "`openssl ec -in PRIVATE.pem -pubout -out PUBLIC.pem` writes it for a key made with "
    "`openssl ecparam -name prime256v1 -genkey -noout -out PRIVATE.pem`.")
endfunction()

# Base64 text (no blanks) to lower-case hex; fails on any other character or a bad length.
function(zelkupd_base64_to_hex path text out)
  string(LENGTH "${text}" length)
  math(EXPR rest "${length} % 4")
  if(length EQUAL 0 OR NOT rest EQUAL 0)
    zelkupd_release_key_error("${path}" "is not base64 of whole groups")
  endif()
  set(digits "0123456789abcdef")
  set(hex "")
  math(EXPR last "${length} - 4")
  foreach(start RANGE 0 ${last} 4)
    set(bits 0)
    set(padding 0)
    foreach(offset RANGE 0 3)
      math(EXPR at "${start} + ${offset}")
      string(SUBSTRING "${text}" ${at} 1 char)
      if(char STREQUAL "=" AND start EQUAL last AND offset GREATER_EQUAL 2)
        set(value 0)
        math(EXPR padding "${padding} + 1")
      elseif(padding GREATER 0)
        zelkupd_release_key_error("${path}" "has base64 after its padding")
      else()
        string(FIND "${ZELKUPD_BASE64_ALPHABET}" "${char}" value)
        if(value LESS 0)
          zelkupd_release_key_error("${path}" "holds a character that is no base64")
        endif()
      endif()
      math(EXPR bits "(${bits} << 6) | ${value}")
    endforeach()
    math(EXPR count "3 - ${padding}")
    foreach(index RANGE 1 ${count})
      math(EXPR shift "24 - 8 * ${index}")
      math(EXPR high "(${bits} >> (${shift} + 4)) & 15")
      math(EXPR low "(${bits} >> ${shift}) & 15")
      string(SUBSTRING "${digits}" ${high} 1 high_digit)
      string(SUBSTRING "${digits}" ${low} 1 low_digit)
      string(APPEND hex "${high_digit}${low_digit}")
    endforeach()
  endforeach()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# The point's X and Y (128 hex digits) of the key in the file at `path`, into `out`.
function(zelkupd_read_release_key path out)
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    zelkupd_release_key_error("${path}" "is no file")
  endif()
  file(READ "${path}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  if(NOT text MATCHES "^-----BEGIN PUBLIC KEY-----\n([A-Za-z0-9+/=\n]+)\n-----END PUBLIC KEY-----\n?$")
    zelkupd_release_key_error("${path}" "is not one PEM block headed BEGIN PUBLIC KEY")
  endif()
  string(REPLACE "\n" "" base64 "${CMAKE_MATCH_1}")
  zelkupd_base64_to_hex("${path}" "${base64}" hex)
  if(NOT hex MATCHES "^${ZELKUPD_P256_KEY_HEAD}([0-9a-f]+)$")
    zelkupd_release_key_error("${path}" "is no uncompressed ECDSA key on the curve P-256")
  endif()
  set(point "${CMAKE_MATCH_1}")
  string(LENGTH "${point}" point_length)
  if(NOT point_length EQUAL 128)
    zelkupd_release_key_error("${path}" "holds a point of the wrong size")
  endif()
  find_program(ZELKUPD_OPENSSL openssl)
  if(NOT ZELKUPD_OPENSSL)
    message(FATAL_ERROR "ZELKUPD_RELEASE_KEY: openssl is needed to check that the key's point lies "
                        "on the curve, and was not found.")
  endif()
  execute_process(COMMAND ${ZELKUPD_OPENSSL} pkey -pubin -in "${path}" -pubcheck -noout
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(NOT result EQUAL 0)
    zelkupd_release_key_error("${path}" "holds a point that is not on the curve P-256")
  endif()
  set(${out} "${point}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  set(ZELKUPD_OPENSSL "${OPENSSL}")
  zelkupd_read_release_key("${KEY}" point)
  message("${point}")
endif()
