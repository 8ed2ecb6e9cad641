# Run by `cmake --install`: writes a man page for each program from its
# --help and --version output with help2man and installs it under
# share/man/man1. Without help2man the programs are installed alone, with a
# note. Expects FOUNDABC_PROGRAMS (paths of the built programs),
# FOUNDABC_MAN_NAMES (the one-line description of each, in the same order) and
# FOUNDABC_MAN_DIR (relative to the install prefix).
find_program(FOUNDABC_HELP2MAN help2man)
if(NOT FOUNDABC_HELP2MAN)
  message(STATUS "help2man not found: man pages not installed (install help2man and run the install again)")
  return()
endif()
set(man_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${FOUNDABC_MAN_DIR}")
file(MAKE_DIRECTORY "${man_dir}")
list(LENGTH FOUNDABC_PROGRAMS count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET FOUNDABC_PROGRAMS ${i} program)
  list(GET FOUNDABC_MAN_NAMES ${i} description)
  get_filename_component(name "${program}" NAME)
  set(page "${man_dir}/${name}.1")
  # foundabc-summary --table is a command with options of its own, explained
  # by its own --help: that text becomes a section of the page.
  set(include_option "")
  if(name STREQUAL "foundabc-summary")
    execute_process(COMMAND "${program}" --table FILE --help
      OUTPUT_VARIABLE table_help RESULT_VARIABLE table_status)
    if(NOT table_status EQUAL 0)
      message(FATAL_ERROR "${program} --table FILE --help failed")
    endif()
    get_filename_component(program_dir "${program}" DIRECTORY)
    set(include_file "${program_dir}/${name}-table.h2m")
    file(WRITE "${include_file}" "[REFERENCE TABLES]\n.nf\n${table_help}\n.fi\n")
    set(include_option "--include=${include_file}")
  endif()
  execute_process(
    COMMAND "${FOUNDABC_HELP2MAN}" --no-info --section=1 "--name=${description}"
            ${include_option} --output=${page} "${program}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${program}")
  endif()
  message(STATUS "Installing: ${page}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${page}")
endforeach()
