# RE2 for the Windows cross build. Debian ships no mingw-w64 RE2, so we compile the copy that the
# npm package re2@1.19.2 vendors (RE2 from before its abseil dependency, so it needs nothing else).
#
# The package is fetched once with `npm pack` into the build tree and checked against the sha512
# integrity pinned below, which must also be what the registry states; later configures reuse the
# unpacked sources and never touch the network. Only the library's own sources are compiled (no
# tests, no PCRE shim). RE2's LOG(...) lines would print to stderr of whatever role is running (an
# MCP server's stdout/stderr belong to its client), so the copy's log sink is patched to drop them;
# fatal CHECK failures still abort.

set(NIMBALO_RE2_NPM_VERSION 1.19.2)
set(NIMBALO_RE2_NPM_INTEGRITY
    "sha512-xspjcoQEb3DwIaV/fbhgOeI9dJNlDtaOPzxXC2Pgign9F1kb01oWVSYF6qUJwlc4qtBheMslPdu0RLPVDn307g==")

set(_re2_root ${CMAKE_BINARY_DIR}/_deps/re2-npm)
set(_re2_tgz ${_re2_root}/re2-${NIMBALO_RE2_NPM_VERSION}.tgz)
set(_re2_src ${_re2_root}/package/vendor)
set(_re2_stamp ${_re2_root}/unpacked.stamp)

function(_nimbalo_re2_integrity file out)
  find_program(NIMBALO_OPENSSL openssl REQUIRED)
  execute_process(COMMAND ${NIMBALO_OPENSSL} dgst -sha512 -binary ${file}
                  COMMAND ${NIMBALO_OPENSSL} base64 -A
                  OUTPUT_VARIABLE digest RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "re2: cannot hash ${file}")
  endif()
  set(${out} "sha512-${digest}" PARENT_SCOPE)
endfunction()

set(_re2_have FALSE)
if(EXISTS ${_re2_stamp})
  file(READ ${_re2_stamp} _re2_stamped)
  if(_re2_stamped STREQUAL NIMBALO_RE2_NPM_INTEGRITY AND EXISTS ${_re2_src}/re2/re2.cc)
    set(_re2_have TRUE)
  endif()
endif()

if(NOT _re2_have)
  file(REMOVE_RECURSE ${_re2_root})
  file(MAKE_DIRECTORY ${_re2_root})
  find_program(NIMBALO_NPM npm)
  if(NOT NIMBALO_NPM)
    message(FATAL_ERROR "re2: npm is needed once to fetch re2@${NIMBALO_RE2_NPM_VERSION} (apt-get install npm)")
  endif()
  message(STATUS "re2: fetching re2@${NIMBALO_RE2_NPM_VERSION} from the npm registry")
  execute_process(COMMAND ${NIMBALO_NPM} view re2@${NIMBALO_RE2_NPM_VERSION} dist.integrity
                  OUTPUT_VARIABLE _re2_registry_integrity RESULT_VARIABLE rc ERROR_VARIABLE err
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "re2: npm view failed: ${err}")
  endif()
  if(NOT _re2_registry_integrity STREQUAL NIMBALO_RE2_NPM_INTEGRITY)
    message(FATAL_ERROR "re2: the registry states integrity ${_re2_registry_integrity} for "
                        "re2@${NIMBALO_RE2_NPM_VERSION}, expected ${NIMBALO_RE2_NPM_INTEGRITY}")
  endif()
  execute_process(COMMAND ${NIMBALO_NPM} pack re2@${NIMBALO_RE2_NPM_VERSION} --silent
                  WORKING_DIRECTORY ${_re2_root}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${_re2_tgz})
    message(FATAL_ERROR "re2: npm pack re2@${NIMBALO_RE2_NPM_VERSION} failed: ${err}")
  endif()
  _nimbalo_re2_integrity(${_re2_tgz} _re2_actual)
  if(NOT _re2_actual STREQUAL NIMBALO_RE2_NPM_INTEGRITY)
    file(REMOVE ${_re2_tgz})
    message(FATAL_ERROR "re2: ${_re2_tgz} has integrity ${_re2_actual}, expected ${NIMBALO_RE2_NPM_INTEGRITY}")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${_re2_tgz} DESTINATION ${_re2_root} PATTERNS package/vendor package/LICENSE)

  # Drop RE2's diagnostic lines: the one write in LogMessage::Flush goes.
  set(_log_h ${_re2_src}/util/logging.h)
  file(READ ${_log_h} _log)
  set(_write "if (fwrite(s.data(), 1, n, stderr) < n) {}  // shut up gcc")
  string(FIND "${_log}" "${_write}" _at)
  if(_at LESS 0)
    message(FATAL_ERROR "re2: ${_log_h} no longer has the expected log write; update the patch")
  endif()
  string(REPLACE "${_write}" "(void)n;  // nimbalo: RE2's log lines are dropped" _log "${_log}")
  file(WRITE ${_log_h} "${_log}")
  file(WRITE ${_re2_stamp} "${NIMBALO_RE2_NPM_INTEGRITY}")
endif()

# RE2's own library sources, as its Makefile lists them.
set(_re2_files
  re2/bitmap256.cc re2/bitstate.cc re2/compile.cc re2/dfa.cc re2/filtered_re2.cc re2/mimics_pcre.cc
  re2/nfa.cc re2/onepass.cc re2/parse.cc re2/perl_groups.cc re2/prefilter.cc re2/prefilter_tree.cc
  re2/prog.cc re2/re2.cc re2/regexp.cc re2/set.cc re2/simplify.cc re2/stringpiece.cc re2/tostring.cc
  re2/unicode_casefold.cc re2/unicode_groups.cc util/rune.cc util/strutil.cc)
list(TRANSFORM _re2_files PREPEND ${_re2_src}/)

add_library(nimbalo_re2 STATIC ${_re2_files})
target_include_directories(nimbalo_re2 SYSTEM PUBLIC ${_re2_src})
target_compile_options(nimbalo_re2 PRIVATE -w -O2)
target_compile_definitions(nimbalo_re2 PRIVATE NDEBUG)
target_link_libraries(nimbalo_deps INTERFACE nimbalo_re2)
