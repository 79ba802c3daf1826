# Every fuzz target's corpus in fuzz/corpus/<name>/ run once as an ordinary test, with the
# compiler and sanitizers of the test build: the seeds, and any input that once crashed and was
# kept there, stay checked without clang or libFuzzer.
set(OMBRIX_FUZZ_DIR ${PROJECT_SOURCE_DIR}/fuzz)
add_library(ombrix_corpus_support STATIC ${OMBRIX_FUZZ_DIR}/FuzzFile.cpp
                                         ${OMBRIX_FUZZ_DIR}/CorpusMain.cpp)
target_include_directories(ombrix_corpus_support PUBLIC ${OMBRIX_FUZZ_DIR})

function(ombrix_corpus_test name sources libraries)
    add_executable(corpus_${name} ${OMBRIX_FUZZ_DIR}/${name}.cpp ${sources})
    target_link_libraries(corpus_${name} PRIVATE ombrix_corpus_support ${libraries})
    add_test(NAME faults.corpus.${name} COMMAND corpus_${name} ${OMBRIX_FUZZ_DIR}/corpus/${name})
    set_tests_properties(faults.corpus.${name} PROPERTIES LABELS unit)
endfunction()

include(${OMBRIX_FUZZ_DIR}/Targets.cmake)
ombrix_fuzz_all(ombrix_corpus_test)
