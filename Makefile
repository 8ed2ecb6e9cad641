# Convenience targets around CMake. `make run` builds and runs the shipped
# example in the folder build/example-run/; `make test` runs the test suite;
# `make sanitize` builds and runs it under AddressSanitizer and
# UndefinedBehaviorSanitizer; `make valgrind` runs the example (2000 repeats)
# under valgrind memcheck and fails on any error or leak; `make install`
# installs the three programs, their man pages and the section-5 pages under PREFIX (default /usr/local);
# `make slurm-test` starts a throw-away single-node Slurm (needs root) and
# checks that a job array of shards, merged, gives the bytes of one seeded run.
BUILD ?= build
PREFIX ?= /usr/local
RUN_DIR ?= $(BUILD)/example-run
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build programs run install test sanitize valgrind slurm-test bench clean

all: build

$(BUILD)/Makefile: CMakeLists.txt
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

# The programs alone, without the test suite: all that `make run` needs.
programs: $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS) --target foundabc foundabc-summary foundabc-import foundabc-study

# The scratch folder is kept: only its params.txt and data.txt are replaced by
# the shipped ones, other files stay, and results.txt grows by one table per
# run, as results files do.
run: programs
	mkdir -p $(RUN_DIR)
	cp examples/params.txt examples/data.txt $(RUN_DIR)/
	cd $(RUN_DIR) && $(abspath $(BUILD))/foundabc params.txt

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFOUNDABC_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# The example with fewer repeats: every repeat takes and frees the same.
valgrind: build
	rm -rf $(BUILD)/valgrind-run && mkdir -p $(BUILD)/valgrind-run
	cp examples/data.txt $(BUILD)/valgrind-run/
	sed 's/^REPEATS .*/REPEATS 2000 #/' examples/params.txt > $(BUILD)/valgrind-run/params.txt
	cd $(BUILD)/valgrind-run && valgrind --error-exitcode=1 --leak-check=full \
		--errors-for-leak-kinds=definite,indirect ../foundabc params.txt >/dev/null

slurm-test: build
	sh tests/slurm/run.sh $(BUILD)/foundabc

bench:
	sh bench/run.sh
	sh bench/scaling.sh
	sh bench/table_summary.sh

clean:
	rm -rf $(BUILD) build-asan build-bench build-fuzz build-fuzz-asan
