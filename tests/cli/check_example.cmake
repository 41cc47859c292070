# Runs examples/make-example into a fresh folder and fails unless its files
# equal the committed ones: the committed example is what the script makes.
#   cmake -DPYTHON=... -DSOURCE=<repository> -DOUT=<scratch folder> -P check_example.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${PYTHON} ${SOURCE}/examples/make-example ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "examples/make-example failed: ${status}")
endif()
foreach(name walker.json walker-heading.txt)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name}
        ${SOURCE}/examples/${name} RESULT_VARIABLE different)
    if(different)
        message(FATAL_ERROR "examples/${name} is not what examples/make-example writes")
    endif()
endforeach()
