# The two commands of the README, and the quick loop for development. Each installs what is
# missing, configures, builds, then runs.
.PHONY: run test check build build-sanitize build-fuzz

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

# The edit-test loop: the default build and its tests (with the format check). Configures only
# the first time; after that the build itself notices changed CMake files.
check: build/default/build.ninja
	cmake --build --preset default
	ctest --preset default

build/default/build.ninja:
	scripts/install-deps
	cmake --preset default

# What CI runs: all tests once as built, once more under AddressSanitizer, UBSan and
# LeakSanitizer, then a short run of every fuzzer from its committed seeds. Each pass runs as soon
# as its build is done, so the first results come after one build rather than three.
test: build
	ctest --preset default
	$(MAKE) build-sanitize
	ctest --preset sanitize
	$(MAKE) build-fuzz
	ctest --preset fuzz
