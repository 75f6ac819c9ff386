# The packages that `make package` builds with CPack, each from one build tree: on Linux
# a Debian package with the VST module in /usr/lib/vst/ and the LV2 bundle in /usr/lib/lv2/,
# for each Windows target a zip with its DLL and a text saying where it goes. Only the
# component "plugins" is packaged, so tools and tests never end up in a package.

if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(PACKAGE_HOST_KIND "32-bit")
        set(PACKAGE_VST_FOLDERS "C:\\Program Files (x86)\\VstPlugins   (on 64-bit Windows)\n    C:\\Program Files\\VstPlugins         (on 32-bit Windows)")
        set(PACKAGE_REGISTRY_KEY "HKEY_LOCAL_MACHINE\\SOFTWARE\\VST\n(on 64-bit Windows, HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\VST)")
    else()
        set(PACKAGE_HOST_KIND "64-bit")
        set(PACKAGE_VST_FOLDERS "C:\\Program Files\\VstPlugins\n    C:\\Program Files\\Common Files\\VST2")
        set(PACKAGE_REGISTRY_KEY "HKEY_LOCAL_MACHINE\\SOFTWARE\\VST")
    endif()
    configure_file("${CMAKE_CURRENT_LIST_DIR}/packaging/windows-install.txt.in"
                   "${PROJECT_BINARY_DIR}/packaging/INSTALL.txt" @ONLY NEWLINE_STYLE CRLF)
    install(TARGETS SoftKneeShaper LIBRARY DESTINATION . COMPONENT plugins)
    install(FILES "${PROJECT_BINARY_DIR}/packaging/INSTALL.txt" DESTINATION . COMPONENT plugins)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-${DIST_PLATFORM}")
else()
    install(TARGETS SoftKneeShaper LIBRARY DESTINATION lib/vst COMPONENT plugins)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_NAME softkneeshaper)
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The symbol versions the two modules import: GLIBC_2.14, GCC_3.0, CXXABI_1.3.9 (GCC 5).
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.14), libgcc-s1 (>= 3.0), libstdc++6 (>= 5)")
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PROJECT_NAME} maintainers <maintainers@users.noreply.c-seed-05293de8.example>")
endif()

# CPack packages what is built and builds nothing itself: `make package` builds first, and the
# package tests must not rebuild the tree while other tests run from it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VENDOR "${PROJECT_NAME} maintainers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stereo soft-knee waveshaper, VST 2 and LV2 plug-in")
set(CPACK_PACKAGE_DESCRIPTION "A stereo soft-knee waveshaper with three controls, Boost, Knee and Hardness: \
each sample is boosted, passes unchanged up to the knee and is bent above it toward full scale. \
The same effect as a VST 2 module and as an LV2 plug-in, with identical output.")
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};plugins;/")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
include(CPack)
