#!/usr/bin/env python3
"""fake_server.py stdio, under the name the command-line tests use: fake_stdio_server.py MODE [OPTIONS]."""
import os, runpy, sys

sys.argv = [sys.argv[0], "stdio"] + sys.argv[1:]
runpy.run_path(os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_server.py"), run_name="__main__")
