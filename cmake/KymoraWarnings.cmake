# Warnings are errors everywhere in our own code.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false positives for std::vector inside inlined code at -O2.
  add_compile_options(-Wno-stringop-overflow -Wno-array-bounds -Wno-restrict)
endif()
