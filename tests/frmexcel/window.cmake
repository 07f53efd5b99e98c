# Widget tests: they need a QApplication (qt_test_main.cpp) and run on
# the offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_executable(frmexcel_test frmexcel_test.cpp qt_test_main.cpp)
target_include_directories(frmexcel_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(frmexcel_test PRIVATE excel2dbf_window e2d_testsupport Qt6::Test
                                            GTest::gtest GTest::gmock)
gtest_discover_tests(frmexcel_test
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;E2D_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
  DISCOVERY_TIMEOUT 30)
