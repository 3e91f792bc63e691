# Writes SHA256SUMS beside the files installed so far, one line each in the
# format `sha256sum -c` reads, so that a user can check a copy of the package.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(sums "")
set(files ${CMAKE_INSTALL_MANIFEST_FILES})
list(SORT files)
foreach(path IN LISTS files)
    file(RELATIVE_PATH name "${root}" "${path}")
    file(SHA256 "${path}" hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
