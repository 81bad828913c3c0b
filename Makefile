# Entry points for a fresh machine: `make test` and `make demo` install what is missing first.
JOBS ?= 2
PRESET ?= default

.PHONY: all setup configure build test test-sanitize demo bench clean

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

bench: build
	build/$(PRESET)/bench/vireltan_bench

demo: build
	@mkdir -p out
	build/$(PRESET)/vireltan-host export examples/caffeine.sdf -o out/caffeine.glb
	@echo "Wrote out/caffeine.glb - open it in any glTF viewer (for example Blender: File > Import > glTF 2.0)."

clean:
	rm -rf build out
