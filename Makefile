# Entry points for a fresh machine: every target that builds or checks installs what it alone
# needs first (tools/setup.sh; the lists are under deps/).
JOBS ?= 2
PRESET ?= default
FUZZ_SECONDS ?= 60
BUILD := build/$(PRESET)
MAKEFLAGS += --no-print-directory

.PHONY: all setup configure build test test-sanitize memcheck fuzz check-windows check-blender demo demo-build bench clean

all: build

setup:
	@tools/setup.sh

configure: setup
	cmake --preset $(PRESET)

# The demo configures only once; later builds re-run CMake themselves when a CMakeLists.txt changes.
$(BUILD)/CMakeCache.txt:
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

# The suite once more, each test program under valgrind memcheck (errors and leaks fail).
memcheck: build
	@tools/setup.sh memcheck
	tools/memcheck.sh build/$(PRESET)

# Builds the fuzz configuration (clang, libFuzzer, ASan + UBSan) and runs each harness FUZZ_SECONDS.
fuzz:
	@tools/setup.sh fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

# The plug-in's sources compiled for Windows x86-64 (syntax only) with the mingw-w64 cross compiler.
check-windows:
	@tools/setup.sh windows
	tools/check-windows.sh

# Blender's glTF importer on the object tree and the merged form (--merge) of three molecules.
check-blender: demo-build
	@tools/setup.sh blender
	tools/check-blender.sh $(BUILD)

# The demo builds only the module, its resources, vireltan-host and the preview page.
demo-build:
	@tools/setup.sh demo
	@$(MAKE) -s $(BUILD)/CMakeCache.txt
	@echo "demo: building the module, its resources and vireltan-host (a few minutes the first time on 2 cores; [NN%] shows progress)"
	@cmake --build --preset $(PRESET) -j $(JOBS) --target vireltan-host

out/caffeine.glb out/caffeine.html &: examples/caffeine.sdf $(BUILD)/vireltan-host $(BUILD)/preview/page.html $(BUILD)/plugins/vireltan/vireltan.xso64
	@mkdir -p out
	$(BUILD)/vireltan-host export examples/caffeine.sdf -o out/caffeine.glb --html
	node tools/validate-gltf.js out/caffeine.glb

demo: demo-build
	@$(MAKE) -s out/caffeine.glb
	@echo
	@echo "Wrote out/caffeine.glb (binary glTF 2.0; one scene unit is one centimetre)"
	@echo "  and out/caffeine.html (a preview that needs no network: drag to orbit, scroll to zoom)."
	@echo "Open the preview: xdg-open out/caffeine.html, or file://$(CURDIR)/out/caffeine.html in a browser."
	@echo "Open the model in a glTF 2.0 viewer; see docs/usage.md for which ones and for every option."
	@echo "Other molecules: $(BUILD)/vireltan-host export examples/benzene.sdf -o out/benzene.glb --html"

clean:
	rm -rf build out
