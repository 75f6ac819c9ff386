# The packages that `make package` builds with CPack, each from one build tree: on Linux
# a Debian package with the two VST modules (the first effect and HQ) in /usr/lib/vst/,
# the two LV2 bundles in /usr/lib/lv2/ and the license as Debian's copyright file; for each
# Windows target a zip with its two DLLs, a README saying what the controls do and where
# the DLLs go, and the license. Only the
# component "plugins" is packaged, so tools and tests never end up in a package.
# The 64-bit tree also builds the Windows installer, with both widths' DLLs (the 32-bit
# ones from the win32 tree's dist folder): its target `installer`, made by NSIS.
#
# Shipped binaries are stripped (CPack strips what it installs); the unstripped modules,
# with their debug information, stay in dist/ and the build tree.

set(PACKAGE_TEXTS "${PROJECT_BINARY_DIR}/packaging")
set(PACKAGE_MAINTAINER "${PROJECT_NAME} maintainers <maintainers@users.noreply.c-seed-05293de8.example>")

# The license's copyright holder and its terms, read from LICENSE at the top of the tree:
# the terms are everything after the copyright line.
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" license_text)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)\n\n(.*)" license_found "${license_text}")
if(NOT license_found)
    message(FATAL_ERROR "LICENSE has no line 'Copyright (c) ...' followed by the terms")
endif()
set(PACKAGE_COPYRIGHT "${CMAKE_MATCH_1}")
set(license_terms "${CMAKE_MATCH_2}")
string(REGEX MATCH "^[^\n]*" license_name "${license_text}")
# The HQ editor's glyphs come from DejaVu Sans, whose license travels with every package.
file(READ "${CMAKE_CURRENT_LIST_DIR}/packaging/font-license.txt" font_license_text)

# Writes a text for Windows users: the template configured, then every line ended by CRLF,
# also the lines that a substituted value brings (configure_file's NEWLINE_STYLE leaves those).
# The file is touched only when its content changes.
function(write_windows_text template output)
    file(READ "${template}" text)
    string(CONFIGURE "${text}" text @ONLY)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${output}.new" "${text}")
    file(COPY_FILE "${output}.new" "${output}" ONLY_IF_DIFFERENT)
    file(REMOVE "${output}.new")
endfunction()

if(WIN32)
    set(folders64 "C:\\Program Files\\Common Files\\VST2\n    C:\\Program Files\\VstPlugins")
    set(folders32 "C:\\Program Files (x86)\\Common Files\\VST2   (on 64-bit Windows)\n    C:\\Program Files (x86)\\VstPlugins         (on 64-bit Windows)\n    C:\\Program Files\\VstPlugins               (on 32-bit Windows)")
    set(key64 "HKEY_LOCAL_MACHINE\\SOFTWARE\\VST")
    set(key32 "HKEY_LOCAL_MACHINE\\SOFTWARE\\VST\n(for 32-bit hosts on 64-bit Windows, HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\VST)")
    set(PACKAGE_ZIP_WIN32 "${PROJECT_NAME}-${PROJECT_VERSION}-win32.zip")
    set(PACKAGE_ZIP_WIN64 "${PROJECT_NAME}-${PROJECT_VERSION}-win64.zip")
    set(PACKAGE_INSTALLER "${PROJECT_NAME}-${PROJECT_VERSION}-setup.exe")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(PACKAGE_HOST_KIND "32-bit")
        set(PACKAGE_VST_FOLDERS "${folders32}")
        set(PACKAGE_REGISTRY_KEY "${key32}")
    else()
        set(PACKAGE_HOST_KIND "64-bit")
        set(PACKAGE_VST_FOLDERS "${folders64}")
        set(PACKAGE_REGISTRY_KEY "${key64}")
    endif()
    write_windows_text("${CMAKE_CURRENT_LIST_DIR}/packaging/windows-readme.txt.in" "${PACKAGE_TEXTS}/README.txt")
    file(READ "${PROJECT_SOURCE_DIR}/LICENSE" project_license_text)
    file(WRITE "${PACKAGE_TEXTS}/LICENSE.in" "${project_license_text}\n\n${font_license_text}")
    write_windows_text("${PACKAGE_TEXTS}/LICENSE.in" "${PACKAGE_TEXTS}/LICENSE.txt")
    install(TARGETS SoftKneeShaper SoftKneeShaperHQ LIBRARY DESTINATION . COMPONENT plugins)
    install(FILES "${PACKAGE_TEXTS}/README.txt" "${PACKAGE_TEXTS}/LICENSE.txt" DESTINATION . COMPONENT plugins)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        include(WindowsInstaller)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-${DIST_PLATFORM}")
else()
    set(doc "share/doc/softkneeshaper")
    # Debian's machine-readable copyright format: the terms indented by one space, an
    # empty line as " .".
    string(STRIP "${license_terms}" terms)
    string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
    string(REPLACE "\n" "\n " terms "${terms}")
    set(PACKAGE_LICENSE_TERMS " ${terms}")
    # The font's license as a paragraph of its own: its copyright lines, then its terms.
    string(REGEX MATCH "\n\n(Copyright[^\n]*\n[^\n]*)\n\n(.*)" font_found "${font_license_text}")
    string(REPLACE "\n" "\n " PACKAGE_FONT_COPYRIGHT "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" font_terms)
    string(REGEX REPLACE "\n\n" "\n.\n" font_terms "${font_terms}")
    string(REPLACE "\n" "\n " font_terms "${font_terms}")
    set(PACKAGE_FONT_LICENSE_TERMS " ${font_terms}")
    configure_file("${CMAKE_CURRENT_LIST_DIR}/packaging/debian-copyright.in" "${PACKAGE_TEXTS}/copyright" @ONLY)
    # A package without a Debian revision is native and must carry its changelog, compressed
    # with gzip -9n (no name or time in the header, so the same bytes every build). Its
    # newest entry is the project version: a new version needs an entry of its own first.
    file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/packaging/debian-changelog.in" changelog_top LIMIT_COUNT 1)
    if(NOT changelog_top MATCHES "^softkneeshaper \\(${PROJECT_VERSION}\\) ")
        message(FATAL_ERROR "cmake/packaging/debian-changelog.in does not start with an entry for ${PROJECT_VERSION}")
    endif()
    configure_file("${CMAKE_CURRENT_LIST_DIR}/packaging/debian-changelog.in" "${PACKAGE_TEXTS}/changelog" @ONLY)
    find_program(GZIP gzip REQUIRED)
    execute_process(COMMAND "${GZIP}" -9nc "${PACKAGE_TEXTS}/changelog"
                    OUTPUT_FILE "${PACKAGE_TEXTS}/changelog.gz" COMMAND_ERROR_IS_FATAL ANY)

    install(TARGETS SoftKneeShaper SoftKneeShaperHQ LIBRARY DESTINATION lib/vst COMPONENT plugins)
    install(FILES "${PACKAGE_TEXTS}/copyright" "${PACKAGE_TEXTS}/changelog.gz" DESTINATION "${doc}"
            COMPONENT plugins)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_NAME softkneeshaper)
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The symbol versions the two modules import: GLIBC_2.14, GCC_3.0, CXXABI_1.3.9 (GCC 5).
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.14), libgcc-s1 (>= 3.0), libstdc++6 (>= 5)")
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PACKAGE_MAINTAINER}")
endif()

# CPack packages what is built and builds nothing itself: `make package` builds first, and the
# package tests must not rebuild the tree while other tests run from it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VENDOR "${PROJECT_NAME} maintainers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stereo soft-knee waveshaper, VST 2 and LV2 plug-in")
# Debian shows the description as it stands, so its lines are kept under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "A stereo soft-knee waveshaper with three controls, Boost, Knee and Hardness:
each sample is boosted, passes unchanged up to the knee and is bent above it
toward full scale. The same effect as a VST 2 module and as an LV2 plug-in,
with identical output. SoftKneeShaper HQ, a VST 2 module and an LV2 plug-in, runs
the curve oversampled up to 16 times without audible aliasing or clicks, with
Output, Mix, Quality and factory presets.")
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};plugins;/")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
include(CPack)
