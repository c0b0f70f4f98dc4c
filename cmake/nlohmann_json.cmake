# nlohmann-json, for the recording format and vantrel-flash's output.
if(CMAKE_CROSSCOMPILING)
    # Header-only, so the host's copy serves the cross build, but only its own
    # folder: the host's whole include folder would shadow the target's.
    find_package(nlohmann_json 3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
    get_target_property(json_include nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
    file(COPY ${json_include}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/host-headers)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/host-headers)
else()
    find_package(nlohmann_json 3 REQUIRED)
endif()
