# The two commands of the README. Each installs what is missing, configures, builds, then runs.
.PHONY: run test build build-sanitize build-fuzz

build:
	scripts/install-deps
	cmake --preset default
	cmake --build --preset default

build-sanitize:
	scripts/install-deps
	cmake --preset sanitize
	cmake --build --preset sanitize

build-fuzz:
	scripts/install-deps
	cmake --preset fuzz
	cmake --build --preset fuzz

run: build
	scripts/run

# All tests once as built, once more under AddressSanitizer, UBSan and LeakSanitizer, then a
# short run of every fuzzer from its committed seeds.
test: build build-sanitize build-fuzz
	ctest --preset default
	ctest --preset sanitize
	ctest --preset fuzz
