// The object whose precompiled header every test program's sources share:
// GoogleTest's and GoogleMock's headers (tests/CMakeLists.txt).
