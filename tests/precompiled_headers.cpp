// The test programs' precompiled headers are built with this program's settings; it has no tests.
