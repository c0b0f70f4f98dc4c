# VANTREL_MINGW_RUNTIME_DLLS: the MinGW-w64 compiler's runtime DLLs (C++
# library, GCC support, POSIX threads) that the Qt DLLs and the window load.
# The ones beside the Qt DLLs come first: the kit that scripts/build-qt-windows.sh
# makes holds those its Qt was built with, stripped, and the tests run with
# them. Else the compiler knows where its own are, or keeps them beside itself.

set(VANTREL_MINGW_RUNTIME_DLLS)
get_target_property(qt_core_dll Qt6::Core LOCATION)
get_filename_component(qt_bin_folder ${qt_core_dll} DIRECTORY)
get_filename_component(compiler_folder ${CMAKE_CXX_COMPILER} DIRECTORY)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    set(dll_path ${qt_bin_folder}/${dll})
    if(NOT EXISTS "${dll_path}")
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
        set(dll_path ${compiler_folder}/${dll})
    endif()
    if(NOT EXISTS "${dll_path}")
        message(FATAL_ERROR "The compiler's runtime DLL ${dll} is nowhere to be found: not beside the Qt DLLs "
                            "in ${qt_bin_folder}, not named by ${CMAKE_CXX_COMPILER}, not in ${compiler_folder}")
    endif()
    get_filename_component(dll_path ${dll_path} REALPATH)
    list(APPEND VANTREL_MINGW_RUNTIME_DLLS ${dll_path})
endforeach()
