# The Debian package of the program (`cpack -G DEB` in the build folder, or
# tools/package.sh): the program with its library, pictures, help, menu entry, icon and
# AppStream metadata, without the library's development files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Morrowquay)
set(CPACK_PACKAGE_CONTACT "Morrowquay <quillmark@morrowquay.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser and tidier for folders of VaM add-on packages")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmark lists every add-on package (.var file) of the game VaM in a folder tree, marks \
duplicates, shows a package's dependencies with their licences and its contents as \
thumbnails, and moves marked packages away or sends them to the trash.")
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Runtime;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# 7-Zip is started as a program and Qt's SQLite driver is loaded as a plugin, so no
# linked library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "7zip | p7zip-full")
if(TARGET Qt5::Sql)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt5sql5-sqlite")
endif()
include(CPack)
