# `cpack` (and `make package`) builds a Debian package of what the install rules install: the two programs,
# the desktop entry, the AppStream metainfo, the icons and the man pages, under /usr.
set(ZELVANO_PACKAGE_MAINTAINER "Kestrelworks <packages@kestrelworks.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvano)
set(CPACK_PACKAGE_VENDOR Kestrelworks)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds photo archives and unpacks their pictures")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Zelvano searches a folder tree for the ZIP and RAR archives that hold pictures and unpacks them where they "
    "belong: into the archive's own folder or into a new folder named after it, chosen per archive. Existing "
    "pictures are skipped or overwritten, every written picture is validated, and an archive whose pictures are "
    "all safely on disk can be deleted. The package holds the desktop program zelvano and zelvano-cli, its "
    "command-line front end for scripts and servers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# A package carries no debugging symbols; the build folder keeps them.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME zelvano)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZELVANO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(ZELVANO_HOME_URL)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZELVANO_HOME_URL}")
endif()
# dpkg-shlibdeps names the packages of the linked libraries (Qt, zlib, the UnRAR library from non-free).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no linker sees them: the TIFF and WebP readers the picture validation uses.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins")
# Opening an archive or its folder goes through the desktop's default applications.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)
