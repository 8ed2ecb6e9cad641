# Convenience targets around CMake. `make run` builds and runs the shipped
# example in a scratch folder under build/; `make test` runs the test suite.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test sanitize bench clean

all: build

$(BUILD)/Makefile: CMakeLists.txt
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

run: build
	rm -rf $(BUILD)/example-run && mkdir -p $(BUILD)/example-run
	cp examples/params.txt examples/data.txt $(BUILD)/example-run/
	cd $(BUILD)/example-run && ../foundabc params.txt

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFOUNDABC_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

bench:
	sh bench/run.sh

clean:
	rm -rf $(BUILD) build-asan build-bench
