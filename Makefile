# The two commands of the README, and a few more for developers.
#   make run    install what is missing, build, assemble build/Tikora/ and start the program
#   make test   the same set-up, then every test (plain, sanitizers, fuzz targets)
#   make bench  the same set-up, then the benchmarks

JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= $(if $(CI),60,10)
CMAKE_GEN   := -G Ninja

.PHONY: run test bench deps build build-asan build-fuzz test-plain test-asan test-fuzz clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS)

run: build
	@scripts/start-program

test: build
	@scripts/run-tests $(JOBS) $(FUZZ_SECONDS)

bench: build
	@scripts/run-benchmarks

clean:
	rm -rf build build-asan build-tsan build-fuzz
