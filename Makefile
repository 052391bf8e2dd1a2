# Quick start:
#   make run    the background agent keeping a virtual laptop on the curve
#   make test   every test
.PHONY: deps configure build test run bench package clean

JOBS ?= $(shell nproc)

deps:
	./scripts/install-deps

configure: deps
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

run: build
	./scripts/demo

bench: build
	./scripts/bench

package: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-sanitize
