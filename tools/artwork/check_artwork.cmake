# Draws the artwork into a scratch folder and compares it with the committed
# pictures: the files under assets/ must be what the generator makes.
#   cmake -DGENERATOR=<velimo-make-artwork> -DASSETS=<assets> -DSCRATCH=<dir> -P check_artwork.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(COMMAND ${GENERATOR} ${SCRATCH} RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the generator failed: ${rc}")
endif()
file(GLOB drawn RELATIVE ${SCRATCH} ${SCRATCH}/*)
list(LENGTH drawn count)
if(count EQUAL 0)
  message(FATAL_ERROR "the generator drew nothing")
endif()
set(differ "")
foreach(name ${drawn})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/${name} ${ASSETS}/${name}
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    list(APPEND differ ${name})
  endif()
endforeach()
if(differ)
  message(FATAL_ERROR "assets/ differs from the generator's drawing: ${differ}; "
                      "run `cmake --build <dir> --target artwork` and commit the result")
endif()
message(STATUS "${count} pictures drawn again, byte for byte as committed")
