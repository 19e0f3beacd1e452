# Front door of the project. `make test` is what CI runs.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

PREFIX ?= /usr/local

.PHONY: windows test-windows all deps configure build install check-install check-r test test-plain test-asan test-tsan test-tsan-threaded fuzz fuzz-smoke bench demo demo-c demo-java faults format format-check clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The library, its header and vexaxd_p.pc under PREFIX.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# An installation checked as a user makes one: a C program built with
# pkg-config only, and a pip install into a fresh virtual environment.
check-install: build
	tools/check-install.sh $(BUILD)

# R CMD check of the R package against the build's library.
check-r: build
	tools/check-r-package.sh $(BUILD)

# What CI runs: the plain suite and a short run of every fuzz target. The
# sanitizer runs (test-asan, test-tsan-threaded) each take as long again, so
# they are targets of their own.
test: test-plain fuzz-smoke

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

# Sanitizer builds: no benchmarks, and light optimisation with line tables
# only, which keeps their build time down and their reports readable.
SANITIZER_FLAGS = -DVEXA_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1"

test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_SANITIZE_ADDRESS=ON $(SANITIZER_FLAGS)
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 300

# Every test under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_SANITIZE_THREAD=ON $(SANITIZER_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	ctest --test-dir build-tsan --output-on-failure -j $(JOBS) --timeout 300

# The suites labelled "threaded" (transport, runtime, hosting, languages).
test-tsan-threaded: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_SANITIZE_THREAD=ON $(SANITIZER_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target test_transport test_runtime test_hosting test_languages
	ctest --test-dir build-tsan --output-on-failure -j $(JOBS) --timeout 300 -L threaded

# The fault matrix: one table of case, outcome code and time to outcome.
faults: build
	$(BUILD)/tests/faults/faultmatrix

# libFuzzer targets in build-fuzz (clang): FUZZ_SECONDS per target; the
# smoke run of make test gives each 12 s.
FUZZ_SECONDS ?= 60
fuzz: deps
	tools/fuzz.sh $(FUZZ_SECONDS)

fuzz-smoke: deps
	tools/fuzz.sh 12

# Release build of the benchmarks and what they need (no tests), then one
# table of every result against its baseline from the same run, and the
# cursor scaling plot (build-release/bench/cursor_scaling.png).
bench: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_BENCH=ON -DVEXA_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)
	/usr/bin/python3 bench/benchtable.py build-release

# The main job, from a Python program; demo-c is the same kind of run from C.
demo: build
	VEXA_LIBRARY=$(abspath $(BUILD))/backend/drivex/vexaxd_p/libvexaxd_p.so PYTHONPATH=languages/python \
		/usr/bin/python3 tools/demo/vexademo.py $(BUILD)/tools/engine $(abspath $(BUILD))/demo-output.html

demo-c: build
	$(BUILD)/tools/demo/vexademo $(BUILD)/tools/engine $(abspath $(BUILD))/demo-c-output.html

# The main job from Java: the engine passes its CLASSPATH on to the Java
# program of the demo's JAVAEXTENSION block, which finds its command there.
demo-java: build
	CLASSPATH=$(abspath $(BUILD))/tools/java/vexademo.jar java \
		-cp $(BUILD)/tools/java/vexademo.jar:$(BUILD)/tools/engine/vexa.jar:$(BUILD)/tools/engine/vexajavaplugin.jar \
		com.kor.statistics.demo.VexaDemo $(BUILD)/tools/engine $(abspath $(BUILD))/demo-java-output.html

# The Windows build (mingw-w64 cross compiler) in build-windows/, and its
# tests run under Wine in a fresh prefix of that directory.
windows: deps
	cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g0" $(CMAKE_FLAGS)
	cmake --build build-windows -j $(JOBS)

# Wine's server and console hosts of the prefix are ended afterwards, so no
# process of the run is left behind.
test-windows: windows
	ctest --test-dir build-windows --output-on-failure -j $(JOBS) --timeout 300; status=$$?; \
		WINEPREFIX=$(abspath build-windows)/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null; exit $$status

clean:
	rm -rf build build-asan build-tsan build-release build-fuzz build-windows

# Layout by .clang-format over every C and C++ file git tracks: format-check
# reports what differs and fails, format rewrites in place.
CLANG_FORMAT ?= clang-format-14
FORMAT_FILES = $(shell git ls-files '*.c' '*.cc' '*.cpp' '*.h')

format-check:
	$(CLANG_FORMAT) --dry-run -Werror $(FORMAT_FILES)

format:
	$(CLANG_FORMAT) -i $(FORMAT_FILES)
