ardour {
	["type"]    = "dsp",
	name        = "Test Impulse",
	category    = "Utility",
	license     = "MIT",
	author      = "SoftKneeShaper tests",
	description = [[One sample of exact amplitude on every channel at a session frame while the transport rolls, silence elsewhere]]
}

function dsp_ioconfig ()
	return { { audio_in = -1, audio_out = -1 } }
end

function dsp_params ()
	return
	{
		{ ["type"] = "input", name = "Amplitude", min = 0, max = 1, default = 0.25 },
		{ ["type"] = "input", name = "Frame", min = 0, max = 1000000, default = 24000, integer = true },
	}
end

-- Every track's copy reads the same session position in a cycle, so all of them put the
-- impulse at the same frame before any latency compensation.
function dsp_run (ins, outs, n_samples)
	local ctrl = CtrlPorts:array ()
	local at = -1
	if Session:transport_rolling () then
		at = math.floor (ctrl[2]) - Session:transport_sample ()
	end
	for c = 1, #outs do
		local out = outs[c]:array ()
		for i = 1, n_samples do
			out[i] = (i - 1 == at) and ctrl[1] or 0
		end
	end
end
