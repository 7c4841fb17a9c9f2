# ThreadSanitizer for every target (TALLYGATE_TSAN=ON). Only the tests of
# what runs on several threads at once are meant to be built and run in
# such a build: the target tsan_tests builds them, `ctest -L tsan` runs them
# (the list is in tests/CMakeLists.txt).
#
# -O1 over the build type's own level: the stacks of the reports still name
# every line, and the programs run several times faster than at -O0, which
# matters to tests that wait on a terminal answering in time.
add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -O1)
add_link_options(-fsanitize=thread)
