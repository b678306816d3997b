# cmake -DBUILD_DIR=<build> -DOUT=<folder> -P unpack_packages.cmake: builds
# the Debian packages of the build with cpack into <folder>/debs and
# unpacks every one into <folder>/root with dpkg -x, as an installation
# would lay them out.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/debs ${OUT}/root)
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${OUT}/debs
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed (${status}):\n${output}")
endif()
file(GLOB debs ${OUT}/debs/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 2)
  message(FATAL_ERROR "expected the console and the stand-ins packages, got: ${debs}\n${output}")
endif()
foreach(deb ${debs})
  execute_process(COMMAND dpkg -x ${deb} ${OUT}/root RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg -x ${deb} failed: ${error}")
  endif()
  message(STATUS "unpacked ${deb}")
endforeach()
