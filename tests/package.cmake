# The Debian package, built, unpacked and run on a sample image (Linux builds only).
if(NOT WIN32)
  add_test(NAME package.debian_install
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package/install_test.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:mkimage>)
  set_tests_properties(package.debian_install PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
endif()
