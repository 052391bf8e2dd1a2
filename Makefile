# Quick start:
#   make run    the background agent keeping a virtual laptop on the curve
#   make test   every test, then the machine tests again under the sanitizers
.PHONY: deps configure build build-demo test test-sanitize run bench package clean

JOBS ?= $(shell nproc)
# What scripts/demo runs: the background agent and the virtual laptop.
DEMO_TARGETS = duolume_agent_program virtual-laptop sun-estimate

deps:
	./scripts/install-deps

configure: deps
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

build-demo: configure
	cmake --build --preset default --target $(DEMO_TARGETS) -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitize

# Every test program, on the simulated and the Linux machine and through the
# Qt widgets (labels "machine" and "qt"), built and run once more with
# AddressSanitizer and UBSan.
test-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize --target test_programs -j $(JOBS)
	cd build-sanitize && ctest -L 'machine|qt' --output-on-failure -j $(JOBS)

run: build-demo
	./scripts/demo

bench: build
	./scripts/bench

package: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-sanitize
