# Compiler settings shared by every target of the project.

# Warnings are errors in our own code. Third-party headers come in as system
# includes, so their warnings do not count.
add_library(mq_warnings INTERFACE)
target_compile_options(mq_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow=compatible-local -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wformat=2
  -Wimplicit-fallthrough -Werror
  # GCC 12 reports std::string appends as overlapping copies (GCC bug 105329).
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)

if(MQ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# mq_add_library(name SOURCES...): a static library of ours, warnings as errors.
function(mq_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PRIVATE mq_warnings)
endfunction()

# mq_add_executable(name SOURCES...)
function(mq_add_executable name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE mq_warnings)
endfunction()

# mq_add_child_directories(): adds every folder below the current one that has a
# CMakeLists.txt, in name order (each area owns its folder under tests/ and bench/).
function(mq_add_child_directories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
