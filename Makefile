# The two commands of the README. Each installs what is missing, configures, builds, then runs.
.PHONY: run test build

build:
	scripts/install-deps
	cmake --preset default
	cmake --build --preset default

run: build
	scripts/run

test: build
	ctest --preset default
