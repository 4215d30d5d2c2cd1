# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""Runs ``trevnactl --json`` for one card and turns its answer into a module result.

Every module of the collection runs on the controller and drives one card through
``trevnactl``. Passwords never reach its command line: the login password goes through
the TREVNA_PASSWORD environment variable of the child alone, a new password through a
temporary file that only the controller's user can read (mode 0600), removed afterwards.
"""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import tempfile

# The options every module shares (documented in the doc fragment trevna.cards.trevnactl).
CARD_ARGUMENT_SPEC = dict(
    host=dict(type='str', required=True),
    user=dict(type='str', required=True),
    password=dict(type='str', required=True, no_log=True),
    ssh_port=dict(type='int'),
    timeout=dict(type='int'),
    trevnactl=dict(type='str', default='trevnactl'),
    known_cards=dict(type='path'),
    host_key=dict(type='str', default='refuse', choices=['refuse', 'accept_new']),
)

# Keys every answer carries; the rest is what the command found.
COMMON_KEYS = ('host', 'ok', 'changed', 'step', 'message')


def card_argument_spec(**extra):
    options = dict(CARD_ARGUMENT_SPEC)
    options.update(extra)
    return options


def single_line(module, name, value):
    """A password is read as the first line of its file: refuse one that a line break would cut."""
    if value is not None and ('\n' in value or '\r' in value):
        module.fail_json(msg='%s must not contain a line break' % name)


class Trevnactl(object):
    """One card's calls of trevnactl with the module's connection options."""

    def __init__(self, module):
        self.module = module
        self.params = module.params
        single_line(module, 'password', self.params['password'])
        timeout = self.params.get('timeout')
        if timeout is not None and not 1 <= timeout <= 600:
            module.fail_json(msg='timeout must be between 1 and 600 seconds, not %d' % timeout)
        host = self.params['host']
        # trevnactl takes several cards separated by commas: one module call is one card.
        if not host or host.startswith('-') or any(c in host for c in ', \t\r\n\0'):
            module.fail_json(msg='host must be one card address, not %r' % host)
        port = self.params.get('ssh_port')
        if port is not None and not 1 <= port <= 65535:
            module.fail_json(msg='ssh_port must be between 1 and 65535, not %d' % port)
        self.binary = self._binary(self.params['trevnactl'])

    def _binary(self, name):
        if os.sep in name:
            path = os.path.expanduser(name)
            if not (os.path.isfile(path) and os.access(path, os.X_OK)):
                self.module.fail_json(msg='trevnactl not found or not executable: %s' % path)
            return path
        return self.module.get_bin_path(name, required=True)

    def _connection_args(self, accepts_key_policy=True):
        args = ['--json', '--user', self.params['user']]
        if self.params.get('ssh_port') is not None:
            args += ['--ssh-port', str(self.params['ssh_port'])]
        if self.params.get('timeout') is not None:
            args += ['--timeout-ms', str(self.params['timeout'] * 1000)]
        if accepts_key_policy and self.params['host_key'] == 'accept_new':
            args.append('--accept-new-key')
        return args

    def run(self, command, positionals=(), options=(), password=None, new_password=None):
        """Runs one command for the card; returns (exit code, answers, standard error).

        `password` replaces the module's login password (a check of a rotated one);
        `new_password` goes to the command through a 0600 file (--new-password-file).
        """
        env = {'TREVNA_PASSWORD': self.params['password'] if password is None else password}
        if self.params.get('known_cards'):
            env['TREVNA_KNOWN_CARDS'] = self.params['known_cards']
        argv = [self.binary, command] + self._connection_args() + list(options)
        secret_file = None
        try:
            if new_password is not None:
                fd, secret_file = tempfile.mkstemp(prefix='trevna-', dir=self.module.tmpdir)
                os.fchmod(fd, 0o600)
                with os.fdopen(fd, 'wb') as handle:
                    handle.write(new_password.encode('utf-8') + b'\n')
                argv += ['--new-password-file', secret_file]
            # Card addresses and paths after "--" are never taken for options.
            argv += ['--'] + list(positionals)
            rc, out, err = self.module.run_command(argv, environ_update=env, check_rc=False)
        finally:
            if secret_file is not None and os.path.exists(secret_file):
                os.remove(secret_file)
        return rc, self._answers(out, err, rc), err

    def _answers(self, out, err, rc):
        answers = []
        for line in out.splitlines():
            if not line.strip():
                continue
            try:
                answer = json.loads(line)
            except ValueError:
                self.module.fail_json(msg='trevnactl printed a line that is not JSON: %s' % line[:200],
                                      rc=rc, stderr=err)
            if not isinstance(answer, dict):
                self.module.fail_json(msg='trevnactl printed JSON that is not an object: %s' % line[:200],
                                      rc=rc, stderr=err)
            answers.append(answer)
        return answers

    def card(self, command, positionals=None, options=(), password=None, new_password=None, fail=True):
        """The answer for the module's card; fails the module when the card failed (unless
        `fail` is false) or when trevnactl said nothing about it."""
        host = self.params['host']
        if positionals is None:
            positionals = [host]
        rc, answers, err = self.run(command, positionals, options, password, new_password)
        answer = None
        for candidate in answers:
            if candidate.get('host') in (host, '') or len(answers) == 1:
                answer = candidate
                break
        if answer is None:
            self.module.fail_json(msg='trevnactl %s gave no answer for %s (exit code %d): %s'
                                  % (command, host, rc, err.strip()[-2000:]), rc=rc, stderr=err)
        if not answer.get('ok'):
            if fail:
                self.fail(answer, rc, err)
            return answer
        if rc != 0:
            # A card that reports success while the program says otherwise is not trusted.
            self.module.fail_json(msg='trevnactl %s ended with exit code %d although the card reported success: %s'
                                  % (command, rc, err.strip()[-2000:]), rc=rc, stderr=err, card=answer)
        return answer

    def fail(self, answer, rc, err):
        self.module.fail_json(msg=answer.get('message') or 'trevnactl failed (exit code %d)' % rc,
                              step=answer.get('step'), host=self.params['host'], rc=rc,
                              stderr=err, card=found(answer))


def found(answer):
    """What a command found, without the keys every answer carries."""
    return dict((key, value) for key, value in answer.items() if key not in ('host', 'ok', 'changed'))


def restart_step_option(module):
    value = module.params.get('restart_step_ms')
    if value is None:
        return []
    if not 0 <= value <= 10000:
        module.fail_json(msg='restart_step_ms must be between 0 and 10000, not %d' % value)
    return ['--restart-step-ms', str(value)]
