# kestrel_build_machine_headers(TARGET PACKAGE_TARGET FOLDER ...): an
# interface library TARGET that offers header-only packages of the build
# machine to a cross build. The packages' headers lie in the build machine's
# /usr/include, whose C library headers must not shadow the cross compiler's,
# so only each package's own folder is offered, through a link in the build
# folder. Pairs of arguments: the package's imported target and its folder.
function(kestrel_build_machine_headers target)
  set(headers ${CMAKE_CURRENT_BINARY_DIR}/build-machine-headers)
  file(MAKE_DIRECTORY ${headers})
  set(pairs ${ARGN})
  while(pairs)
    list(POP_FRONT pairs package folder)
    get_target_property(package_includes ${package} INTERFACE_INCLUDE_DIRECTORIES)
    find_path(kestrel_found_${folder} ${folder} HINTS ${package_includes} NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    file(CREATE_LINK ${kestrel_found_${folder}}/${folder} ${headers}/${folder} SYMBOLIC)
  endwhile()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${headers})
endfunction()
