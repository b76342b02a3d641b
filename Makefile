# Set-up is idempotent: each target installs only what is missing.
PYTHON ?= python3
BUILD_DIR ?= build/core
APT_PACKAGES := libre2-dev libgtest-dev libbenchmark-dev pkg-config ninja-build cmake lua5.4
PIP_PACKAGES := pytest scikit-build-core pyrsistent

.PHONY: deps build python test demo bench sanitize clean

deps:
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; fi
	@missing=""; for p in $(PIP_PACKAGES); do \
	  $(PYTHON) -m pip show $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then $(PYTHON) -m pip install -q $$missing; fi

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR)

python: deps
	$(PYTHON) -m pip install -q --no-build-isolation .

test: build python
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2
	$(PYTHON) -m pytest -q tests/python

demo: python
	$(PYTHON) examples/demo.py

bench: build python
	$(PYTHON) bench/run.py

sanitize: deps
	cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON \
	  -DQUORVEL_BENCH=OFF
	cmake --build build/sanitize
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build/sanitize --output-on-failure -j2

clean:
	rm -rf build
