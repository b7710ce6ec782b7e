# The installation, staged for the duration of the checks into a DESTDIR under the build tree
# (install-stage/usr, as the package lays it out): its files, the menu entries and metadata as
# their validators see them, and both programs as installed: started through their links, WAV
# mode with the installed samples, the switch to the installed sibling.
set(stage ${CMAKE_BINARY_DIR}/install-stage)
add_test(NAME install.stage COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/stage.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR} ${stage})
add_test(NAME install.unstage COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage})
set_tests_properties(install.stage PROPERTIES FIXTURES_SETUP installed)
set_tests_properties(install.unstage PROPERTIES FIXTURES_CLEANUP installed)

add_test(NAME install.validators COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/validate.sh ${stage})
set_tests_properties(install.validators PROPERTIES FIXTURES_REQUIRED installed)

function(taktovi_install_test name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE TAKTOVI_STAGE="${stage}" TAKTOVI_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
                                             TAKTOVI_VERSION="${PROJECT_VERSION}")
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock)
  # The test mains set the offscreen platform and SDL's dummy driver; programs started inherit them.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX install. PROPERTIES FIXTURES_REQUIRED installed)
endfunction()

taktovi_install_test(install_tests install_test.cpp test_main.cpp)
target_link_libraries(install_tests PRIVATE Qt6::Svg Qt6::Gui)

# Both installed programs' windows, in one test program.
taktovi_install_test(installed_program_tests installed_choice_test.cpp installed_timing_test.cpp qt_test_main.cpp)
target_link_libraries(installed_program_tests PRIVATE taktovi_choice taktovi_timing Qt6::Test)
