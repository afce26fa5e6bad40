# Writes SHA256SUMS beside the package's staged files: one line per file,
# "<sha256>  <path>" with '/' between folders, in the order of the paths, as
# `sha256sum -c SHA256SUMS` reads it. Run by CPack (CPACK_PRE_BUILD_SCRIPTS)
# after it has staged the files and before it zips them.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
if(NOT IS_DIRECTORY "${staged}")
  message(FATAL_ERROR "Checksums.cmake: no staged files at '${staged}'")
endif()
file(GLOB_RECURSE files RELATIVE "${staged}" "${staged}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${staged}/${file}" sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE "${staged}/SHA256SUMS" "${sums}")
