# cmake -DSRC=FILE -DDST=FILE -P copy_if_exists.cmake: copies SRC when it exists.
if(EXISTS "${SRC}")
  file(COPY_FILE "${SRC}" "${DST}" ONLY_IF_DIFFERENT)
endif()
