# cmake -DSRC=FILE[;FILE...] -DDST=FILE -P copy_if_exists.cmake: copies the
# first SRC that exists to DST.
foreach(src IN LISTS SRC)
  if(EXISTS "${src}")
    file(COPY_FILE "${src}" "${DST}" ONLY_IF_DIFFERENT)
    return()
  endif()
endforeach()
