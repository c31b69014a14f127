# Qpid Proton C++ (AMQP 1.0) for the station, as one target on both builds:
# tarnwick_proton.
add_library(tarnwick_proton INTERFACE)
if(WIN32)
  # Built from Debian's source package into the build tree at configure time,
  # once (the script does nothing when that version is there already).
  set(TARNWICK_PROTON_DIR ${CMAKE_BINARY_DIR}/proton-mingw)
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/build-proton-mingw.sh ${TARNWICK_PROTON_DIR}
    RESULT_VARIABLE proton_build_result)
  if(NOT proton_build_result EQUAL 0)
    message(FATAL_ERROR "building Qpid Proton for MinGW failed (scripts/build-proton-mingw.sh)")
  endif()
  target_include_directories(tarnwick_proton SYSTEM INTERFACE ${TARNWICK_PROTON_DIR}/include)
  target_compile_definitions(tarnwick_proton INTERFACE PROTON_DECLARE_STATIC PN_CPP_DECLARE_STATIC)
  # The start-up object holds only the constructor that sets the library up
  # (logging among it): no linker takes it from the archive by itself.
  target_link_libraries(tarnwick_proton INTERFACE
    ${TARNWICK_PROTON_DIR}/lib/proton-start.obj
    ${TARNWICK_PROTON_DIR}/lib/libqpid-proton-cpp.a
    ${TARNWICK_PROTON_DIR}/lib/libqpid-proton-proactor.a
    ${TARNWICK_PROTON_DIR}/lib/libqpid-proton-core.a
    ws2_32 rpcrt4 crypt32 secur32)
else()
  # Debian's libqpid-proton-cpp12-dev; its pkg-config file asks for .pc
  # files that are not shipped, and there is no CMake package.
  find_path(TARNWICK_PROTON_INCLUDE proton/container.hpp)
  find_library(TARNWICK_PROTON_CPP qpid-proton-cpp)
  # The C core the C++ library itself uses (the station reads a delivery's
  # remote state through it); no -dev package ships its unversioned name.
  find_library(TARNWICK_PROTON_CORE NAMES qpid-proton-core libqpid-proton-core.so.10)
  if(NOT TARNWICK_PROTON_INCLUDE OR NOT TARNWICK_PROTON_CPP OR NOT TARNWICK_PROTON_CORE)
    message(FATAL_ERROR "Qpid Proton C++ is missing: install libqpid-proton-cpp12-dev")
  endif()
  target_include_directories(tarnwick_proton SYSTEM INTERFACE ${TARNWICK_PROTON_INCLUDE})
  target_link_libraries(tarnwick_proton INTERFACE ${TARNWICK_PROTON_CPP} ${TARNWICK_PROTON_CORE})
endif()
