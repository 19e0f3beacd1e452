# Makes TARGET a folder of links to the package's Python sources in SOURCE.
# Earlier builds made TARGET itself one link to SOURCE; that link is replaced,
# never followed, so the sources are never touched.
if(IS_SYMLINK ${TARGET})
    file(REMOVE ${TARGET})
endif()
file(MAKE_DIRECTORY ${TARGET})
file(GLOB sources RELATIVE ${SOURCE} ${SOURCE}/*.py)
foreach(source ${sources})
    if(NOT EXISTS ${TARGET}/${source})
        file(CREATE_LINK ${SOURCE}/${source} ${TARGET}/${source} SYMBOLIC)
    endif()
endforeach()
