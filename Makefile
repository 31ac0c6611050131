# The two commands of the README. Each installs what is missing, configures, builds, then runs.
.PHONY: run test build build-sanitize

build:
	scripts/install-deps
	cmake --preset default
	cmake --build --preset default

build-sanitize:
	scripts/install-deps
	cmake --preset sanitize
	cmake --build --preset sanitize

run: build
	scripts/run

# All tests once as built, then once more under AddressSanitizer, UBSan and LeakSanitizer.
test: build build-sanitize
	ctest --preset default
	ctest --preset sanitize
