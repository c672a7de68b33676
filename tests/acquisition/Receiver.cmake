# Receiver driver and RX thread tests.

# Small stand-ins for the vendor SDK, one per behaviour, each built as librzsdr.so in a folder
# of its own so that the driver can be pointed at exactly one of them.
set(RTSA_FAKE_SDK_DIR ${CMAKE_CURRENT_BINARY_DIR}/fake-sdk)
set(fake_sdk_variants
  "complete\;FAKE_SDK_KINDS=3"
  "kind1_only\;FAKE_SDK_KINDS=2"
  "no_receiver\;FAKE_SDK_KINDS=0"
  "no_receiver_says_why\;FAKE_SDK_KINDS=0\;FAKE_SDK_SAYS_WHY"
  "no_entry\;FAKE_SDK_NO_ENTRY"
  "init_null\;FAKE_SDK_INIT_NULL"
  "empty_serial\;FAKE_SDK_KINDS=1\;FAKE_SDK_SERIAL_EMPTY"
  "no_callbacks\;FAKE_SDK_KINDS=1\;FAKE_SDK_NO_CALLBACKS"
)
set(fake_sdk_targets)
foreach(variant IN LISTS fake_sdk_variants)
  list(GET variant 0 name)
  list(SUBLIST variant 1 -1 definitions)
  set(target fake_rzsdr_${name})
  add_library(${target} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/FakeRzSdr.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE ${definitions})
  target_link_libraries(${target} PRIVATE rtsa_options)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME rzsdr PREFIX lib
                        LIBRARY_OUTPUT_DIRECTORY ${RTSA_FAKE_SDK_DIR}/${name})
  list(APPEND fake_sdk_targets ${target})
endforeach()

rtsa_gtest(acquisition_rz640_device_test SOURCES Rz640DeviceTest.cpp LIBS rtsa_acquisition rtsa_platform)
target_compile_definitions(acquisition_rz640_device_test PRIVATE RTSA_FAKE_SDK_DIR="${RTSA_FAKE_SDK_DIR}")
add_dependencies(acquisition_rz640_device_test ${fake_sdk_targets})

rtsa_gtest(acquisition_rx_thread_test SOURCES RxThreadTest.cpp LIBS rtsa_acquisition LABELS tsan)
