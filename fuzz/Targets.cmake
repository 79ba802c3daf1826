# The fuzz targets with the sources and libraries each needs beyond its own <name>.cpp. Used by
# fuzz/CMakeLists.txt (libFuzzer builds) and fuzz/CorpusTests.cmake (the seed corpora replayed in
# the ordinary test suite); add a target here and in fuzz/corpus/<name>/.
macro(ombrix_fuzz_all add)
    cmake_language(CALL ${add} fuzz_frame "" "ombrix_capture")
    cmake_language(CALL ${add} fuzz_replay "" "ombrix_capture")
    cmake_language(CALL ${add} fuzz_pcap_file "" "ombrix_capture")
    cmake_language(CALL ${add} fuzz_geobase "" "ombrix_lookup")
    cmake_language(CALL ${add} fuzz_countries "" "ombrix_lookup")
    cmake_language(CALL ${add} fuzz_stored_text "" "ombrix_db")
    cmake_language(CALL ${add} fuzz_store_load "" "ombrix_db")
    # The reply reader lives with the update dialog; it needs QtXml only, not the window library.
    cmake_language(CALL ${add} fuzz_version_xml "${PROJECT_SOURCE_DIR}/src/ui/VersionReply.cpp"
                   "ombrix_update;Qt6::Core;Qt6::Xml")
    cmake_language(CALL ${add} fuzz_update_reply "${PROJECT_SOURCE_DIR}/src/ui/VersionReply.cpp"
                   "ombrix_update;Qt6::Core;Qt6::Xml")
endmacro()
