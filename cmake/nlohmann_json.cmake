# The header-only libraries that the recordings and vantrel-flash use:
# nlohmann-json (JSON) and CLI11 (vantrel-flash's command line).

# In a cross build the host's copy serves, but only the library's own folder:
# the host's whole include folder would shadow the target's.
function(vantrel_host_headers package target)
    if(CMAKE_CROSSCOMPILING)
        find_package(${package} ${ARGN} REQUIRED NO_CMAKE_FIND_ROOT_PATH)
        get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
        set(copies)
        foreach(dir IN LISTS include_dirs)
            file(GLOB entries LIST_DIRECTORIES true ${dir}/*)
            foreach(entry IN LISTS entries)
                get_filename_component(name ${entry} NAME)
                # Only what the library put there, not the whole /usr/include.
                if(name MATCHES "^(nlohmann|CLI)$")
                    file(COPY ${entry} DESTINATION ${CMAKE_BINARY_DIR}/host-headers)
                endif()
            endforeach()
        endforeach()
        set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/host-headers)
    else()
        find_package(${package} ${ARGN} REQUIRED)
    endif()
endfunction()

vantrel_host_headers(nlohmann_json nlohmann_json::nlohmann_json 3)
