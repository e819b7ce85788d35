# Segment planning and output file naming: target_sources(kc_split PRIVATE ...) lands here.
