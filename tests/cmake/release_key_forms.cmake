# The configuration's check of ZELKUPD_RELEASE_KEY (cmake/release_key.cmake) on keys that openssl
# makes: a P-256 public key as `openssl ec -pubout` writes it, with either line end, gives its
# point; every other form, and a key of that form whose point is not on the curve, stops the
# configuration with the message that says what is expected.
# Run by CTest: cmake -DOPENSSL=<openssl> -DWORK=<folder> -P release_key_forms.cmake
set(check ${CMAKE_CURRENT_LIST_DIR}/../../cmake/release_key.cmake)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(openssl)
  execute_process(COMMAND ${OPENSSL} ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE result
                  OUTPUT_QUIET ERROR_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "openssl ${ARGN} failed")
  endif()
endfunction()

# The check's exit code and what it printed.
function(check_key name result_var output_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -DKEY=${WORK}/${name} -DOPENSSL=${OPENSSL} -P ${check}
                  RESULT_VARIABLE result ERROR_VARIABLE output OUTPUT_QUIET)
  string(STRIP "${output}" output)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

openssl(ecparam -name prime256v1 -genkey -noout -out p256.key)
openssl(ec -in p256.key -pubout -out p256.pub)
openssl(ec -in p256.key -pubout -outform DER -out p256.der)
openssl(ec -in p256.key -pubout -conv_form compressed -out compressed.pub)
openssl(ecparam -name secp384r1 -genkey -noout -out p384.key)
openssl(ec -in p384.key -pubout -out p384.pub)
openssl(genpkey -algorithm ed25519 -out ed25519.key)
openssl(pkey -in ed25519.key -pubout -out ed25519.pub)
openssl(genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out rsa.key)
openssl(pkey -in rsa.key -pubout -out rsa.pub)
file(READ ${WORK}/p256.pub pem)
string(REPLACE "\n" "\r\n" crlf "${pem}")
file(WRITE ${WORK}/crlf.pub "${crlf}")
string(SUBSTRING "${pem}" 0 100 truncated)
file(WRITE ${WORK}/truncated.pub "${truncated}")
file(WRITE ${WORK}/two.pub "${pem}${pem}")
string(REPLACE "MFkw" "MF!w" broken "${pem}")
file(WRITE ${WORK}/broken.pub "${broken}")
# Another digit in the last bytes of Y: the form stays, the point leaves the curve.
string(REGEX MATCH "([A-Za-z0-9+/])([A-Za-z0-9+/][A-Za-z0-9+/][A-Za-z0-9+/]==\n-----END)" tail
       "${pem}")
if(CMAKE_MATCH_1 STREQUAL "A")
  set(digit "B")
else()
  set(digit "A")
endif()
string(REPLACE "${tail}" "${digit}${CMAKE_MATCH_2}" off_curve "${pem}")
file(WRITE ${WORK}/off_curve.pub "${off_curve}")

file(READ ${WORK}/p256.der der HEX)
string(LENGTH "${der}" length)
math(EXPR start "${length} - 128")
string(SUBSTRING "${der}" ${start} 128 point)
foreach(name p256.pub crlf.pub)
  check_key(${name} result output)
  if(NOT result EQUAL 0 OR NOT output STREQUAL point)
    message(FATAL_ERROR "${name} was not read as its point ${point}: ${result} ${output}")
  endif()
endforeach()

foreach(name compressed.pub p384.pub ed25519.pub rsa.pub p256.key p256.der truncated.pub two.pub
             broken.pub off_curve.pub missing.pub)
  check_key(${name} result output)
  string(REPLACE "\n" " " output "${output}")
  string(REGEX REPLACE " +" " " output "${output}")
  if(result EQUAL 0 OR NOT output MATCHES "ZELKUPD_RELEASE_KEY: .*${name}.* Expected an ECDSA P-256")
    message(FATAL_ERROR "${name} was not refused with the message: ${result} ${output}")
  endif()
endforeach()
message(STATUS "every form but a P-256 public key in PEM, and a point off the curve, was refused")
