target_sources(framework PRIVATE
  base/CSmallObjectAllocator.cpp
)
