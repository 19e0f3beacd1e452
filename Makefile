# Front door of the project. `make test` is what CI runs.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-asan test-tsan bench demo demo-c clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

test-asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DVEXA_SANITIZE_ADDRESS=ON"

test-tsan:
	$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DVEXA_SANITIZE_THREAD=ON"

bench: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_BENCH=ON
	cmake --build build-release -j $(JOBS)
	@for b in build-release/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2 || exit 1; done
	@echo "== bench/bench_python.py"
	VEXA_LIBRARY=$(abspath build-release/backend/drivex/vexaxd_p/libvexaxd_p.so) PYTHONPATH=languages/python \
		/usr/bin/python3 bench/bench_python.py build-release/tools/engine build-release/bench/libvexapythonbench.so

# The main job, from a Python program; demo-c is the same kind of run from C.
demo: build
	VEXA_LIBRARY=$(abspath $(BUILD))/backend/drivex/vexaxd_p/libvexaxd_p.so PYTHONPATH=languages/python \
		/usr/bin/python3 tools/demo/vexademo.py $(BUILD)/tools/engine $(abspath $(BUILD))/demo-output.html

demo-c: build
	$(BUILD)/tools/demo/vexademo $(BUILD)/tools/engine $(abspath $(BUILD))/demo-c-output.html

clean:
	rm -rf build build-asan build-tsan build-release
