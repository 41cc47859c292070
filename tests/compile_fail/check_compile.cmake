# Compiles SOURCE with -DMDL_CASE=${CASE}. With EXPECT empty the compiler
# must accept it; otherwise it must refuse it with a message matching EXPECT,
# so that an unrelated error (a missing header) does not pass for the check.
execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -DMDL_CASE=${CASE} -I${ROOT}/export -I${ROOT}/host
        ${SOURCE}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(EXPECT STREQUAL "")
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "case ${CASE} should compile:\n${output}")
    endif()
elseif(status EQUAL 0)
    message(FATAL_ERROR "case ${CASE} compiled but should not (${EXPECT})")
elseif(NOT output MATCHES "${EXPECT}")
    message(FATAL_ERROR "case ${CASE} failed without \"${EXPECT}\":\n${output}")
endif()
