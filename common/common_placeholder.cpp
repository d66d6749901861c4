// The library's first unit; the CSV reader and the type statistics join it.
