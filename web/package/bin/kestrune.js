#!/usr/bin/env node
// The console engine on standard input and output, as `npx kestrune`.
'use strict';
require('../kestrune.js');
