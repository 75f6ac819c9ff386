# The Windows installer, dist/packages/<name>-<version>-setup.exe once `make package` has
# run: built by NSIS from this (64-bit) tree's DLLs and the 32-bit tree's, which
# INSTALLER_WIN32_DIR names, with a README for both widths. Target `installer` writes it
# into packages/ here; the package test builds its own copy with the same arguments,
# INSTALLER_ARGS, through cmake/packaging/make-installer.cmake.
set(INSTALLER_WIN32_DIR "${PROJECT_SOURCE_DIR}/dist/win32" CACHE PATH
    "Folder with the 32-bit DLLs that the Windows installer packs")
find_program(MAKENSIS makensis REQUIRED)
find_program(INSTALLER_STRIP32 i686-w64-mingw32-strip REQUIRED)

set(PACKAGE_HOST_KIND "32-bit and 64-bit")
string(REPLACE "\n" "\n    " PACKAGE_VST_FOLDERS "For 64-bit hosts:\n    ${folders64}\nFor 32-bit hosts:\n    ${folders32}")
set(PACKAGE_REGISTRY_KEY "${key32}")
write_windows_text("${CMAKE_CURRENT_LIST_DIR}/packaging/windows-readme.txt.in" "${PACKAGE_TEXTS}/installer/README.txt")
file(COPY_FILE "${PACKAGE_TEXTS}/LICENSE.txt" "${PACKAGE_TEXTS}/installer/LICENSE.txt" ONLY_IF_DIFFERENT)

string(REGEX REPLACE "^[0-9]+ " "" publisher "${PACKAGE_COPYRIGHT}")
set(INSTALLER_ARGS
    -DWIN32_DIR=${INSTALLER_WIN32_DIR} -DWIN64_DIR=${DIST_DIR}
    -DSTRIP32=${INSTALLER_STRIP32} -DSTRIP64=${CMAKE_STRIP}
    -DTEXTS=${PACKAGE_TEXTS}/installer -DMAKENSIS=${MAKENSIS} -DVERSION=${PROJECT_VERSION}
    -DPUBLISHER=${publisher} "-DCOPYRIGHT=Copyright (c) ${PACKAGE_COPYRIGHT}, ${license_name}"
    -P "${CMAKE_CURRENT_LIST_DIR}/packaging/make-installer.cmake")
# Like CPack, the target packs what is built and builds nothing.
add_custom_target(installer
    COMMAND "${CMAKE_COMMAND}" -DOUTPUT=${PROJECT_BINARY_DIR}/packages/${PACKAGE_INSTALLER}
            -DWORK=${PROJECT_BINARY_DIR}/installer-stage ${INSTALLER_ARGS}
    VERBATIM)
