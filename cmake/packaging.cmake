# What a user installs: the Debian package on Linux (CPack's DEB generator)
# and the setup program in the Windows build (CPack's NSIS generator with our
# own script, packaging/windows/NSIS.template.in). scripts/package.sh builds
# both; the demo and the test programs have no install rules and so are in
# neither.

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

# The release's history is written by hand; a version without its entry is a
# release nobody described.
file(STRINGS ${packaging_dir}/debian/changelog changelog_top LIMIT_COUNT 1)
file(READ ${packaging_dir}/appstream/org.vantrel.VantrelUpdate.metainfo.xml metainfo)
string(FIND "${metainfo}" "<release version=\"${PROJECT_VERSION}\"" metainfo_release)
if(NOT changelog_top MATCHES "^vantrel-update \\(${PROJECT_VERSION}\\) " OR metainfo_release EQUAL -1)
    message(FATAL_ERROR "Version ${PROJECT_VERSION} needs an entry at the top of packaging/debian/changelog "
                        "and a <release> in packaging/appstream/org.vantrel.VantrelUpdate.metainfo.xml")
endif()

install(TARGETS vantrel-flash RUNTIME DESTINATION bin)

if(WIN32)
    # The window with the Qt DLLs it links, the two plugins it loads (the
    # windows platform and the windowsvista style) in the folders below it
    # where Qt looks for them, and the compiler's runtime DLLs that all of
    # those load: nothing that the window does not use.
    if(TARGET vantrel-update)
        install(IMPORTED_RUNTIME_ARTIFACTS Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network RUNTIME DESTINATION bin)
        install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin LIBRARY DESTINATION bin/platforms)
        install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin LIBRARY DESTINATION bin/styles)
        include(cmake/mingw_runtime_dlls.cmake)
        install(FILES ${VANTREL_MINGW_RUNTIME_DLLS} DESTINATION bin)
    endif()

    # vantrel-flash's JSON described for whoever scripts it, with its schema.
    install(FILES ${PROJECT_SOURCE_DIR}/docs/json.md ${PROJECT_SOURCE_DIR}/docs/vantrel-flash.schema.json
            DESTINATION doc)

    set(CPACK_GENERATOR NSIS)
    set(CPACK_PACKAGE_NAME "Vantrel Update")
    set(CPACK_PACKAGE_FILE_NAME "Vantrel-Update-${PROJECT_VERSION}-Setup")
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "Vantrel Update")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Vantrel Update")
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/icons/vantrel-update.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/icons/vantrel-update.ico)
    # The script is packaging/windows/NSIS.template.in, found through the
    # module path in place of CPack's own.
    list(PREPEND CMAKE_MODULE_PATH ${packaging_dir}/windows)
elseif(NOT CMAKE_CROSSCOMPILING)
    set(generated ${PROJECT_BINARY_DIR}/packaging)
    set(doc_dir share/doc/vantrel-update)
    if(IS_ABSOLUTE "${VANTREL_UDEV_RULES_DIR}")
        set(VANTREL_UDEV_RULES_PATH ${VANTREL_UDEV_RULES_DIR}/70-vantrel.rules)
    else()
        set(VANTREL_UDEV_RULES_PATH ${CMAKE_INSTALL_PREFIX}/${VANTREL_UDEV_RULES_DIR}/70-vantrel.rules)
    endif()

    # Debian wants manual pages and changelogs compressed as gzip -9n does it
    # (no name, no time stamp: the same bytes at each build).
    find_program(VANTREL_GZIP gzip REQUIRED)
    set(compressed_files)
    function(vantrel_compress file)
        add_custom_command(OUTPUT ${file}.gz COMMAND ${VANTREL_GZIP} -9nkf ${file} DEPENDS ${file} VERBATIM)
        set(compressed_files ${compressed_files} ${file}.gz PARENT_SCOPE)
    endfunction()

    configure_file(${packaging_dir}/man/vantrel-update.1.in ${generated}/vantrel-update.1 @ONLY)
    configure_file(${packaging_dir}/debian/changelog ${generated}/changelog COPYONLY)
    # What a recording holds, for whoever attaches one to a report; and
    # vantrel-flash's JSON, for whoever scripts it, with its schema beside
    # the program's other data for tools to find.
    configure_file(${PROJECT_SOURCE_DIR}/docs/recordings.md ${generated}/recordings.md COPYONLY)
    configure_file(${PROJECT_SOURCE_DIR}/docs/json.md ${generated}/json.md COPYONLY)
    vantrel_compress(${generated}/vantrel-update.1)
    vantrel_compress(${generated}/changelog)
    vantrel_compress(${generated}/recordings.md)
    vantrel_compress(${generated}/json.md)
    install(FILES ${generated}/vantrel-update.1.gz DESTINATION share/man/man1)
    install(FILES ${generated}/changelog.gz ${generated}/recordings.md.gz ${generated}/json.md.gz
                  ${packaging_dir}/debian/copyright
            DESTINATION ${doc_dir})
    install(FILES ${PROJECT_SOURCE_DIR}/docs/vantrel-flash.schema.json DESTINATION share/vantrel-update)

    # vantrel-flash's page is its own --help, so that the commands, the
    # simulated variants and faults and the exit codes are written once; the
    # include file adds the examples, the files and the related pages, and
    # the help's list of exit codes becomes the page's EXIT STATUS.
    find_program(VANTREL_HELP2MAN help2man)
    if(VANTREL_HELP2MAN)
        configure_file(${packaging_dir}/man/vantrel-flash.h2m.in ${generated}/vantrel-flash.h2m @ONLY)
        add_custom_command(OUTPUT ${generated}/vantrel-flash.1
            COMMAND ${VANTREL_HELP2MAN} --no-info --section=1
                    "--name=install the carried firmware on Vantrel JTAG adapters"
                    --version-string=${PROJECT_VERSION} --include=${generated}/vantrel-flash.h2m
                    --output=${generated}/vantrel-flash.1 $<TARGET_FILE:vantrel-flash>
            COMMAND sed -i "s/^\\.SS \"Exit codes:\"$/.SH \"EXIT STATUS\"/" ${generated}/vantrel-flash.1
            DEPENDS vantrel-flash ${generated}/vantrel-flash.h2m VERBATIM)
        vantrel_compress(${generated}/vantrel-flash.1)
        install(FILES ${generated}/vantrel-flash.1.gz DESTINATION share/man/man1)
    else()
        message(STATUS "help2man not found: no manual page for vantrel-flash")
    endif()
    add_custom_target(vantrel_packaging_files ALL DEPENDS ${compressed_files})

    install(FILES ${VANTREL_FLASH_COMPLETION} DESTINATION share/bash-completion/completions
            RENAME vantrel-flash)
    install(FILES ${packaging_dir}/appstream/org.vantrel.VantrelUpdate.metainfo.xml DESTINATION share/metainfo)

    # The same maintainer script after install and after removal: it has
    # udev read the rules again and apply them to plugged-in adapters.
    foreach(script postinst postrm)
        configure_file(${packaging_dir}/debian/reload-udev-rules.sh ${generated}/${script} COPYONLY)
        list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${generated}/${script})
    endforeach()
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME vantrel-update)
    set(CPACK_PACKAGE_CONTACT "Vantrel Update developers <dev@vantrel.invalid>")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Vantrel USB JTAG debug adapters")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "Vantrel Update finds the one attached Vantrel adapter, shows its variant,\n"
        "serial number and installed firmware, and installs the firmware image it\n"
        "carries for that variant: connect, erase, write, verify by CRC-32,\n"
        "disconnect.\n"
        "\n"
        "The package holds the window vantrel-update, its command-line twin\n"
        "vantrel-flash for the lab and the production line, and a udev rule that\n"
        "lets the user at the seat open the adapters (USB vendor id 0x131B)\n"
        "without root.")
    string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    # An absolute folder for the udev rule (/lib/udev/rules.d, as Debian 12
    # has it) must land in the package, not on the building machine.
    set(CPACK_SET_DESTDIR ON)
endif()

set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 0)
include(CPack)
