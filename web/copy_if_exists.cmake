# cmake -DSRC=FILE[|FILE...] -DDST=FILE -P copy_if_exists.cmake: copies the
# first SRC that exists to DST.
string(REPLACE "|" ";" candidates "${SRC}")
foreach(src IN LISTS candidates)
  if(EXISTS "${src}")
    file(COPY_FILE "${src}" "${DST}" ONLY_IF_DIFFERENT)
    return()
  endif()
endforeach()
