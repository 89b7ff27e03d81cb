target_sources(framework PRIVATE
  mod/CWrappingChannel.cpp
  mod/CChannelCompressor.cpp
  mod/CRawCompressor.cpp
  mod/CRunLengthCompressor.cpp
  mod/CGZipCompressor.cpp
  mod/CDensityPredictor.cpp
  mod/CDensityCompressor.cpp
  mod/CCompressorFactory.cpp
)
