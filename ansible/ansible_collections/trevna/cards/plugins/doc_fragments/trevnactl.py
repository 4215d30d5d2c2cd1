# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  host:
    description:
      - Address of the card, as C(trevnactl) takes it (for example C(192.168.1.21)).
      - The module runs on the controller, so this is the card's address, not the inventory host the task
        is delegated from.
    type: str
    required: true
  user:
    description:
      - SSH user name on the card.
    type: str
    required: true
  password:
    description:
      - SSH password of I(user). Keep it in Ansible Vault.
      - It reaches C(trevnactl) through its environment (C(TREVNA_PASSWORD)), never its command line.
      - It must fit Windows-1250 and hold no line break.
    type: str
    required: true
  ssh_port:
    description:
      - SSH port of the card. C(trevnactl)'s own default (22) when omitted.
    type: int
  timeout:
    description:
      - Longest wait in seconds (1 to 600) for one answer of the card; a card that does not answer in time
        fails the step it was in.
    type: int
  trevnactl:
    description:
      - The C(trevnactl) program, a name looked up in C(PATH) or a path.
    type: str
    default: trevnactl
  known_cards:
    description:
      - File of the remembered SSH host keys of the cards (C(TREVNA_KNOWN_CARDS)). C(trevnactl)'s per-user
        file when omitted.
    type: path
  host_key:
    description:
      - What to do when a card offers another SSH host key than the one remembered for it.
      - C(refuse) fails the card before the password is sent (step C(hostkey)); a card never seen before is
        remembered.
      - C(accept_new) logs in and remembers the new key; use it only for a card known to be replaced or
        re-installed.
    type: str
    choices: [refuse, accept_new]
    default: refuse
notes:
  - "The module runs on the Ansible controller and talks to the card over SSH through C(trevnactl --json);
    use C(connection: local) for the card inventory, or C(delegate_to: localhost)."
  - C(trevnactl) must be installed on the controller (the C(trevna-tools) package).
'''

    RESTART = r'''
options:
  restart_step_ms:
    description:
      - Pause per step of the 75-step wait for the card's restart, in milliseconds (0 to 10000).
        C(trevnactl)'s default when omitted (533 ms after programming, 1000 ms otherwise).
    type: int
'''
