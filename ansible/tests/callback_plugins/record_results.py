# Records every task and handler result of a playbook run as one JSON line in
# the file named by HBA_RECORD_FILE, so that the campaign tests read exact
# per-host results instead of the console text.

import json
import os

from ansible.plugins.callback import CallbackBase

DOCUMENTATION = r"""
name: record_results
type: aggregate
short_description: Writes each task result as a JSON line
description:
  - Appends one line per task result (host, task, status, result) to the file named by HBA_RECORD_FILE.
requirements:
  - enabled in ANSIBLE_CALLBACKS_ENABLED
"""


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "aggregate"
    CALLBACK_NAME = "record_results"
    CALLBACK_NEEDS_ENABLED = True

    def _record(self, result, status):
        line = dict(
            host=result._host.get_name(),
            task=result._task.get_name(),
            status=status,
            result=result._result,
        )
        with open(os.environ["HBA_RECORD_FILE"], "a", encoding="utf-8") as f:
            f.write(json.dumps(line, default=str) + "\n")

    def v2_runner_on_ok(self, result):
        self._record(result, "changed" if result._result.get("changed") else "ok")

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, "failed")

    def v2_runner_on_skipped(self, result):
        self._record(result, "skipped")
