# DIB decoder: header, colour table, masks, RLE and uncompressed bits.
vorlaxa_fuzz_target(dib ${CMAKE_CURRENT_SOURCE_DIR}/dib_decode.cpp vorlaxa_platform)
