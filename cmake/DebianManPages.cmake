# Run by CPack on the staged files of the Debian packages, before it packs
# them (CPACK_PRE_BUILD_SCRIPTS in DebianPackages.cmake): manual pages are
# compressed, as Debian ships them, with gzip -9n (no name or time stamp in
# the file, so that the same page packs to the same bytes).
file(GLOB_RECURSE tallygate_staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
list(FILTER tallygate_staged INCLUDE REGEX "/share/man/man[1-8]/[^/]+\\.[1-8]$")
foreach(page IN LISTS tallygate_staged)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()
