# The Debian package (`make package`, or cpack in the build directory): the
# install rules' executables under /usr/bin, where cargo finds cargo-tersify
# as a subcommand on PATH.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cargo-tersify)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compact layout for Rust sources, on top of rustfmt")
set(CPACK_PACKAGE_DESCRIPTION
    "`cargo tersify` has rustfmt format every .rs file of a cargo package, then
joins short blocks back onto one line and puts each else on a line of its own.
tersify-rustfmt does the same for one text on standard input, for an editor's
format on save.")
set(TERSIFY_PACKAGE_MAINTAINER "cargo-tersify maintainers <maintainers@cargo-tersify.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TERSIFY_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: the shared libraries the executables load, from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools run the user's cargo and rustfmt, which usually come from rustup
# outside dpkg's knowledge. A Recommends would have apt install Debian's own
# toolchain beside it by default, so the toolchain is only suggested.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "rustup | cargo, rustup | rustfmt")

include(CPack)
