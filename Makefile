# Entry points for a fresh machine: `make test` and `make demo` install what is missing first.
JOBS ?= 2
PRESET ?= default
FUZZ_SECONDS ?= 60

.PHONY: all setup configure build test test-sanitize fuzz demo bench clean

all: build

setup:
	@tools/setup.sh

configure: setup
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(JOBS)

test-sanitize:
	$(MAKE) test PRESET=sanitize

# Release build of its own; installs the peers it compares against (deps/bench-packages.txt).
bench:
	@tools/setup.sh bench
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS) --target vireltan_bench vireltan_measure vireltan-host
	/usr/bin/python3 bench/run.py build/bench

# Builds the fuzz configuration (clang, libFuzzer, ASan + UBSan) and runs each harness FUZZ_SECONDS.
fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

demo: build
	@mkdir -p out
	build/$(PRESET)/vireltan-host export examples/caffeine.sdf -o out/caffeine.glb
	node tools/validate-gltf.js out/caffeine.glb
	@echo
	@echo "Wrote $(CURDIR)/out/caffeine.glb (binary glTF 2.0, 1 scene unit = 1 cm)."
	@echo "Open it in any glTF 2.0 viewer, or in Blender with File > Import > glTF 2.0."
	@echo "Other molecules: build/$(PRESET)/vireltan-host export examples/benzene.sdf -o out/benzene.glb"
	@echo "Options: build/$(PRESET)/vireltan-host export --help"

clean:
	rm -rf build out
