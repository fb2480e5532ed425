# Run by `cmake --install` (and so by cpack): writes the demo installation with
# dravolin-make-demo into the build folder's demo/ unless it is already there from the same
# generator, then installs it as share/dravolin/demo. The build folder keeps it, so a second
# install or package does not write it again (the stamp is the one scripts/run keeps).
#   DEMO_GENERATOR  dravolin-make-demo
#   DEMO_CACHE      the build folder's demo folder
#   DEMO_DESTINATION  where it goes, under the install prefix
file(SHA256 "${DEMO_GENERATOR}" stamp)
set(stamp_file "${DEMO_CACHE}/.generator")
set(current "")
if(EXISTS "${stamp_file}")
  file(READ "${stamp_file}" current)
  string(STRIP "${current}" current)
endif()
if(NOT current STREQUAL stamp)
  message(STATUS "Writing the demo installation into ${DEMO_CACHE}")
  file(REMOVE_RECURSE "${DEMO_CACHE}.new")
  execute_process(COMMAND "${DEMO_GENERATOR}" "${DEMO_CACHE}.new" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dravolin-make-demo failed (status ${status})")
  endif()
  file(WRITE "${DEMO_CACHE}.new/.generator" "${stamp}\n")
  file(REMOVE_RECURSE "${DEMO_CACHE}")
  file(RENAME "${DEMO_CACHE}.new" "${DEMO_CACHE}")
endif()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${DEMO_DESTINATION}" TYPE DIRECTORY
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                           WORLD_READ WORLD_EXECUTE
     FILES "${DEMO_CACHE}" PATTERN ".generator" EXCLUDE)
